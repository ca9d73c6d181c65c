// tavrinctl: the receiver unit from the command line, on the same core as the
// desktop program. The commands are in command_table.cpp.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "link/remote_control.h"
#include "platform/version.h"
#include "platform/clock.h"
#include "platform/debug_out.h"
#include "platform/numbers.h"
#include "platform/program_folder.h"
#include "platform/program_arguments.h"
#include "platform/std_streams.h"
#include "tools/tavrinctl/args.h"
#include "tools/tavrinctl/checked_output.h"
#include "tools/tavrinctl/command_table.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/connection.h"
#include "tools/tavrinctl/exit_status.h"
#include "tools/tavrinctl/output.h"
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
        PrintError(stderr, std::string("TAVRIN_WAIT_SCALE=") + text, "ignored", "not a number from 0 to 100");
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
    std::fprintf(stderr, "%s\n%s\nRun \"tavrinctl --help\" for the options and commands.\n",
                 ErrorLine("", why).c_str(), usage.substr(0, formsEnd + 1).c_str());
    return kExitUsage;
}

// Standard output written out and closed: output that could not be written
// makes the run a failure, whatever else it was.
int Finished(CheckedOutput& output, int status) {
    const int error = output.Close();
    if (error == 0) return status;
    PrintError(stderr, "standard output", std::strerror(error));
    return WorseExit(status, kExitFailure);
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenMissingStandardStreams()) return 1;
    ToolOptions options;
    const ProgramArguments arguments(argc, argv);
    const ParseResult parsed = ParseArguments(arguments.Count(), arguments.Words(), options);
    if (!parsed.ok) return UsageError(parsed.error);
    CheckedOutput output;
    FILE* const out = output.Stream();
    if (options.help) {
        const std::string text =
            options.command.empty() ? UsageText() : CommandHelpText(*FindToolCommand(options.command));
        std::fputs(text.c_str(), out);
        return Finished(output, kExitSuccess);
    }
    if (options.version) {
        std::fprintf(out, "tavrinctl %s\n", ProgramVersion());
        return Finished(output, kExitSuccess);
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
    if (command.runWithoutUnit) return Finished(output, command.runWithoutUnit(options, out, stderr));

    CFerritRemoteControl link(nullptr);
    const ConnectOutcome connection = ConnectUnit(options, link);
    if (connection.result != kResultOk) {
        PrintError(stderr, ConnectionName(options), ResultCodeMessage(connection.result), connection.reason);
        return Finished(output, kExitFailure);
    }
    ToolContext tool(link, options, connection.address, out, stderr);
    return Finished(output, RunUnitCommand(command, tool));
}
