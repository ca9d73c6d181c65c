#include "tools/tavrinctl/commands.h"

#include "link/frame.h"
#include "link/messages.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "pages/key_check.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "tools/tavrinctl/connection.h"
#include "tools/tavrinctl/output.h"

ToolContext::ToolContext(CFerritRemoteControl& link, const ToolOptions& options, int address, FILE* out, FILE* err)
    : link(link), options(options), address(address), out(out), err(err), where(ConnectionName(options)) {}

ExchangeReply ToolContext::Exchange(const std::string& request, uint8_t logLevel, const std::string& what) {
    ExchangeReply reply = link.Exchange(request, logLevel);
    if (!reply.Answered()) Fail(reply.result, what);
    return reply;
}

void ToolContext::Fail(ResultCode code, const std::string& what) {
    failed = true;
    lastFailure = code;
    PrintError(err, what.empty() ? where : what, ResultCodeMessage(code));
}

void ToolContext::Refuse(const std::string& code, const std::string& data) {
    refused = true;
    PrintError(err, code, kTextRefused, data);
}

namespace {

// A parameter code as it stands in a frame: four printable characters, no ';'.
bool IsCode(const std::string& code) {
    if (code.size() != 4) return false;
    for (unsigned char c : code)
        if (c <= 0x20 || c >= 0x7F || c == ';') return false;
    return true;
}

bool IsPrintableWithoutSemicolon(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F || c == ';') return false;
    return true;
}

// Address, operation, code, two ';' and the data must fit the request text.
constexpr size_t kFrameOverhead = 4 + 1 + 4 + 2;

}  // namespace

std::string CheckSendArguments(const ToolOptions& options) {
    const auto& a = options.args;
    if (a[0].size() != 4) return "the send address must be exactly four characters";
    if (a[0].size() + a[1].size() > kMaxRequestText) return "the command is too long for one frame";
    return {};
}

std::string CheckReadArguments(const ToolOptions& options) {
    for (const std::string& code : options.args)
        if (!IsCode(code)) return "'" + code + "' is not a four-character parameter code";
    return {};
}

std::string CheckWriteArguments(const ToolOptions& options) {
    const auto& a = options.args;
    if (!IsCode(a[0])) return "'" + a[0] + "' is not a four-character parameter code";
    if (!IsPrintableWithoutSemicolon(a[1])) return "the value must not hold ';' or control characters";
    if (kFrameOverhead + a[1].size() > kMaxRequestText) return "the value is too long for one frame";
    return {};
}

std::string CheckKeyArguments(const ToolOptions& options) {
    const auto& a = options.args;
    const int type = ParseKeyTypeName(a[0]);
    if (type < 0) return "the key type is abs, aes128 or aes256";
    if (type != KeyTypeAes256 && a.size() > 2) return "only an aes256 key has an upper half";
    const KeyCheckResult check = CheckKeyFields(type, a[1], a.size() > 2 ? a[2] : std::string());
    if (!check.accepted) return check.message;
    return {};
}

int RunProbe(ToolContext& tool) {
    const ExchangeReply reply = tool.Exchange(AnyUnitProbeRequest());
    int address = 0;
    if (reply.result == kResultOk && !ParseUnitAddress(reply.data, address)) tool.Fail(kErrInvalidReply);
    else if (reply.result == kResultOk) std::fprintf(tool.out, "%d\n", address);
    return tool.ExitStatus();
}

int RunSend(ToolContext& tool) {
    const std::string& address = tool.options.args[0];
    const std::string& command = tool.options.args[1];
    // STX, the four address characters, then the command as typed.
    const std::string request = TypedRequest(address, command);
    const ExchangeReply reply = tool.Exchange(request);
    // A raw engineering command: the reply is shown as the unit sent it and
    // judged by whoever typed the request, so an 'E' is no refusal of the
    // tool's; only an exchange that failed fails the run.
    // A rejected reply was still received: show it like an accepted one.
    if (reply.result == kResultOk || reply.result == kErrInvalidReply || reply.result == kErrBadChecksum) {
        std::fprintf(tool.out, "%s\n", SendingLine(tool.link.lastRequest).c_str());
        std::fprintf(tool.out, "%s\n", ReplyLine(tool.link.lastReply, tool.link.lastReplyLength).c_str());
    }
    if (reply.result == kResultOk)
        std::fprintf(tool.out, "Status: %c\nData: %s\n", reply.status, TerminalText(reply.data).c_str());
    return tool.ExitStatus();
}

int RunRead(ToolContext& tool) {
    for (const std::string& code : tool.options.args) {
        if (tool.LinkGone()) break;
        const ExchangeReply reply = tool.Exchange(BuildReadRequest(tool.address, code.c_str()), 1, code);
        if (reply.result != kResultOk) continue;
        if (reply.Accepted())
            std::fprintf(tool.out, "%s %c %s\n", code.c_str(), reply.status, TerminalText(reply.data).c_str());
        else
            tool.Refuse(code, reply.data);
    }
    return tool.ExitStatus();
}

int RunWrite(ToolContext& tool) {
    const std::string& code = tool.options.args[0];
    const ExchangeReply reply =
        tool.Exchange(BuildWriteRequest(tool.address, code.c_str(), tool.options.args[1]), 1, code);
    if (reply.Accepted())
        std::fprintf(tool.out, "%c\n", reply.status);
    else if (reply.Answered())
        tool.Refuse(code, reply.data);
    return tool.ExitStatus();
}

int RunKey(ToolContext& tool) {
    const auto& a = tool.options.args;
    const int type = ParseKeyTypeName(a[0]);
    const KeyCheckResult check = CheckKeyFields(type, a[1], a.size() > 2 ? a[2] : std::string());
    if (!check.accepted) {   // already refused by the argument checks
        PrintError(tool.err, "", check.message);
        return kExitUsage;
    }
    // The key's digits are masked in the transaction log (log level 2).
    for (const std::string& request : KeyRequests(type, tool.address, check.lower, check.upper)) {
        const std::string code = request.substr(5, 4);
        const ExchangeReply reply = tool.Exchange(request, 2, code);
        if (reply.result != kResultOk) break;
        if (reply.Accepted())
            std::fprintf(tool.out, "%s %c\n", code.c_str(), reply.status);
        else
            tool.Refuse(code, reply.data);
    }
    return tool.ExitStatus();
}
