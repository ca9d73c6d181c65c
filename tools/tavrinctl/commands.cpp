#include "tools/tavrinctl/commands.h"

#include <algorithm>
#include <vector>

#include "link/frame.h"
#include "link/unit_events.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "pages/key_check.h"
#include "pages/page_form.h"
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

std::string NoPageShows(const std::string& code) { return "no page shows '" + code + "'"; }

// The unit's demodulation mode (gudm) for the rows whose page form depends on
// it: 0 narrowband, 1 DVB-T, -1 when the read failed (already reported).
int ReadUnitMode(ToolContext& tool) {
    const ExchangeReply mode = tool.Exchange(DemodModeReadRequest(tool.address), 1, "gudm");
    if (!mode.Accepted()) {
        if (mode.Answered()) tool.Refuse("gudm", mode.data);
        return -1;
    }
    return DecimalValue(mode.data) == 1 ? 1 : 0;
}

// The page row of `code` for --pages (the unit's mode read once, when the
// row needs it); null when the mode could not be read.
const ParamEntry* PageRowOf(ToolContext& tool, const std::string& code, int& mode) {
    if (PageFormNeedsMode(code) && mode < 0) mode = ReadUnitMode(tool);
    if (PageFormNeedsMode(code) && mode < 0) return nullptr;
    return PageRow(code, mode < 0 ? 0 : mode);
}

// One code as read prints it: the unit's data, or with --pages the value as
// its page shows it and the unit its caption names.
struct ReadLine {
    std::string code;
    bool answered = false;
    char status = 0;
    std::string value;
    std::string unit;
};

JsonDocument ReadLineJson(const ReadLine& line, bool pages) {
    JsonDocument o;
    o["code"] = JsonBytes(line.code);
    if (pages) o["label"] = ParamLabel(line.code.c_str()) ? ParamLabel(line.code.c_str()) : line.code;
    o["status"] = StatusJson(line.answered, line.status);
    o["value"] = line.answered && line.status == '1' ? UnitValueJson(line.value, line.code) : JsonDocument(nullptr);
    if (pages) o["unit"] = line.unit.empty() ? JsonDocument(nullptr) : JsonDocument(line.unit);
    return o;
}

}  // namespace

std::string CheckSendArguments(const ToolOptions& options) {
    const auto& a = options.args;
    if (a[0].size() != 4) return "the send address must be exactly four characters";
    if (a[0].size() + a[1].size() > kMaxRequestText) return "the command is too long for one frame";
    return {};
}

std::string CheckReadArguments(const ToolOptions& options) {
    for (const std::string& code : options.args) {
        if (!IsCode(code)) return "'" + code + "' is not a four-character parameter code";
        if (options.pages && !PageRow(code, 0) && !PageRow(code, 1)) return NoPageShows(code);
    }
    return {};
}

std::string CheckWriteArguments(const ToolOptions& options) {
    const auto& a = options.args;
    if (!IsCode(a[0])) return "'" + a[0] + "' is not a four-character parameter code";
    if (options.pages) {
        if (!PageRow(a[0], 0) && !PageRow(a[0], 1)) return NoPageShows(a[0]);
        // The page's own check, said before anything is sent; a row whose page
        // depends on the unit's mode is checked once the mode is read.
        if (!PageFormNeedsMode(a[0])) {
            const TypedInput input = PageFormInput(*PageRow(a[0], 0), a[1]);
            if (input.refused) return a[0] + ": " + input.text;
            if (kFrameOverhead + input.text.size() > kMaxRequestText) return "the value is too long for one frame";
            return {};
        }
    }
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
    const bool ok = reply.result == kResultOk && ParseUnitAddress(reply.data, address);
    if (reply.result == kResultOk && !ok) tool.Fail(kErrInvalidReply);
    if (tool.options.json)
        std::fprintf(tool.out, "%s\n", JsonText({{"address", ok ? JsonDocument(address) : JsonDocument(nullptr)}}).c_str());
    else if (ok)
        std::fprintf(tool.out, "%d\n", address);
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
    const bool received =
        reply.result == kResultOk || reply.result == kErrInvalidReply || reply.result == kErrBadChecksum;
    if (tool.options.json) {
        const std::string& lastReply = tool.link.LastReply();
        const size_t length = std::min(lastReply.size(), size_t(std::max(tool.link.LastReplyLength(), 0)));
        JsonDocument doc;
        doc["request"] = JsonBytes(tool.link.LastRequest());
        doc["reply"] = received ? JsonBytes(lastReply.substr(0, length)) : JsonDocument(nullptr);
        doc["status"] = StatusJson(reply.result == kResultOk, reply.status);
        doc["data"] = reply.result == kResultOk ? JsonBytes(reply.data) : JsonDocument(nullptr);
        std::fprintf(tool.out, "%s\n", JsonText(doc).c_str());
        return tool.ExitStatus();
    }
    if (received) {
        std::fprintf(tool.out, "%s\n", SendingLine(tool.link.LastRequest()).c_str());
        std::fprintf(tool.out, "%s\n", ReplyLine(tool.link.LastReply(), tool.link.LastReplyLength()).c_str());
    }
    if (reply.result == kResultOk)
        std::fprintf(tool.out, "Status: %c\nData: %s\n", reply.status, TerminalText(reply.data).c_str());
    return tool.ExitStatus();
}

int RunRead(ToolContext& tool) {
    const bool pages = tool.options.pages;
    int mode = -1;
    std::vector<ReadLine> lines;
    for (const std::string& code : tool.options.args) {
        if (tool.LinkGone()) break;
        const ParamEntry* row = pages ? PageRowOf(tool, code, mode) : nullptr;
        if (pages && !row) break;   // the mode read failed
        ReadLine line;
        line.code = code;
        const ExchangeReply reply = tool.Exchange(BuildReadRequest(tool.address, code.c_str()), 1, code);
        line.answered = reply.result == kResultOk;
        line.status = reply.status;
        line.value = reply.data;
        if (line.answered && !reply.Accepted()) tool.Refuse(code, reply.data);
        if (row && reply.Accepted()) {
            std::string text = reply.data;
            StoreReplyValue(tool.unit, text, *row);
            line.value = ShownPageValue(tool.unit, *row, reply.data);
            line.unit = PageUnit(row->code);
        }
        if (!tool.options.json && reply.Accepted()) {
            const std::string unit = line.unit.empty() || line.value.empty() ? std::string() : " " + line.unit;
            std::fprintf(tool.out, "%s %c %s%s\n", code.c_str(), reply.status, TerminalText(line.value).c_str(),
                         unit.c_str());
        }
        lines.push_back(line);
    }
    if (tool.options.json) {
        JsonDocument values = JsonDocument::array();
        for (const ReadLine& line : lines) values.push_back(ReadLineJson(line, pages));
        std::fprintf(tool.out, "%s\n", JsonText({{"address", tool.address}, {"values", values}}).c_str());
    }
    return tool.ExitStatus();
}

int RunWrite(ToolContext& tool) {
    const std::string& code = tool.options.args[0];
    std::string data = tool.options.args[1];
    if (tool.options.pages) {
        // Taken in the page's form and checked as the page checks it; a value
        // the page refuses is never sent.
        int mode = -1;
        const ParamEntry* row = PageRowOf(tool, code, mode);
        if (!row) return tool.ExitStatus();
        const TypedInput input = PageFormInput(*row, data);
        if (input.refused) {
            PrintError(tool.err, code, input.text);
            return kExitUsage;
        }
        data = input.text;
    }
    const ExchangeReply reply = tool.Exchange(BuildWriteRequest(tool.address, code.c_str(), data), 1, code);
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
