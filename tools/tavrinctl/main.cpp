// tavrinctl: the receiver unit from the command line, on the same core as the
// desktop program. The commands are in command_table.cpp.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "link/remote_control.h"
#include "platform/build_info.h"
#include "platform/clock.h"
#include "platform/debug_out.h"
#include "platform/numbers.h"
#include "platform/program_folder.h"
#include "platform/std_streams.h"
#include "tools/tavrinctl/args.h"
#include "tools/tavrinctl/command_table.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/connection.h"
#include "tools/tavrinctl/watched_run.h"

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
    const std::string& usage = UsageText();
    const size_t formsEnd = usage.find("\n\n");
    std::fprintf(stderr, "tavrinctl: %s\n%s\nRun \"tavrinctl --help\" for the options and commands.\n",
                 why.c_str(), usage.substr(0, formsEnd + 1).c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenMissingStandardStreams()) return 1;
    ToolOptions options;
    const ParseResult parsed = ParseArguments(argc, argv, options);
    if (!parsed.ok) return UsageError(parsed.error);
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tavrinctl %s\n", kProgramVersion);
        return 0;
    }
    const ToolCommand& command = *FindToolCommand(options.command);
    if (command.check) {
        const std::string argumentProblem = command.check(options);
        if (!argumentProblem.empty()) return UsageError(argumentProblem);
    }

    InstallWaiter();
    // The link's diagnostic lines would mix with the tool's own messages on
    // standard error; they are shown only on request.
    const char* debug = std::getenv("TAVRIN_DEBUG");
    if (!debug || !*debug || std::string(debug) == "0") SetDebugSink([](const std::string&) {});
    // A folder named on the command line is taken as it is: its own ports/.
    if (!options.programFolder.empty()) SetProgramFolder(options.programFolder, FolderMode::Portable);
    if (command.runWithoutUnit) return command.runWithoutUnit(options, stdout, stderr);

    CFerritRemoteControl link(nullptr);
    const ConnectOutcome connection = ConnectUnit(options, link);
    if (connection.result != kResultOk) {
        std::fprintf(stderr, "%s\n", ResultCodeMessage(connection.result).c_str());
        if (!connection.detail.empty()) std::fprintf(stderr, "(%s)\n", connection.detail.c_str());
        return 1;
    }
    ToolContext tool(link, options, connection.address, stdout, stderr);
    const int status = RunUnitCommand(command, tool);
    std::fflush(stdout);
    return status;
}
