// tavrinctl: the receiver unit from the command line, on the same core as the
// desktop program. See UsageText() for the commands.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "link/remote_control.h"
#include "platform/clock.h"
#include "platform/debug_out.h"
#include "platform/numbers.h"
#include "platform/program_folder.h"
#include "tools/tavrinctl/args.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/connection.h"
#include "tools/tavrinctl/output.h"

namespace {

// TAVRIN_WAIT_SCALE shortens (or lengthens) the fixed waits after a mode
// change or a slot load, for the simulated unit's fast restarts.
void InstallWaiter() {
    const char* text = std::getenv("TAVRIN_WAIT_SCALE");
    if (!text || !*text) return;
    const std::optional<double> parsed = ParseDecimal(text);
    const double scale = parsed.value_or(-1.0);
    if (!parsed || !(scale >= 0.0) || scale > 100.0) {
        std::fprintf(stderr, "tavrinctl: ignoring TAVRIN_WAIT_SCALE=%s (not a number from 0 to 100)\n", text);
        return;
    }
    SetWaiter([scale](uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(ms * scale * 1000.0)));
    });
}

int UsageError(const std::string& why) {
    // The first lines of the usage text: the forms of the command line.
    const std::string usage = UsageText();
    const size_t formsEnd = usage.find("\n\n");
    std::fprintf(stderr, "tavrinctl: %s\n%s\nRun \"tavrinctl --help\" for the options and commands.\n",
                 why.c_str(), usage.substr(0, formsEnd + 1).c_str());
    return 2;
}

int RunUnitCommand(ToolContext& tool) {
    const std::string& c = tool.options.command;
    if (c == "probe") return RunProbe(tool);
    if (c == "send") return RunSend(tool);
    if (c == "read") return RunRead(tool);
    if (c == "write") return RunWrite(tool);
    if (c == "key") return RunKey(tool);
    if (c == "status") return RunStatus(tool);
    if (c == "dump") return RunDump(tool);
    if (c == "save-config") return RunSaveConfig(tool);
    if (c == "load-config") return RunLoadConfig(tool);
    if (c == "save-set") return RunSaveSet(tool);
    if (c == "load-set") return RunLoadSet(tool);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ToolOptions options;
    const ParseResult parsed = ParseArguments(argc, argv, options);
    if (!parsed.ok) return UsageError(parsed.error);
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    const std::string inputProblem = TakeKeyFromInput(options, stdin);
    if (!inputProblem.empty()) return UsageError(inputProblem);
    const std::string argumentProblem = CheckCommandArguments(options);
    if (!argumentProblem.empty()) return UsageError(argumentProblem);

    InstallWaiter();
    // The link's diagnostic lines would mix with the tool's own messages on
    // standard error; they are shown only on request.
    const char* debug = std::getenv("TAVRIN_DEBUG");
    if (!debug || !*debug || std::string(debug) == "0") SetDebugSink([](const std::string&) {});
    if (!options.programFolder.empty()) SetProgramFolder(options.programFolder);
    if (options.command == "inspect") return RunInspect(options, stdout, stderr);

    CFerritRemoteControl link(nullptr);
    const ConnectOutcome connection = ConnectUnit(options, link);
    if (connection.result != kResultOk) {
        std::fprintf(stderr, "%s\n", ResultMessage(connection.result).c_str());
        if (!connection.detail.empty()) std::fprintf(stderr, "(%s)\n", connection.detail.c_str());
        return 1;
    }
    ToolContext tool(link, options, connection.address, stdout, stderr);
    const int status = RunUnitCommand(tool);
    std::fflush(stdout);
    return status;
}
