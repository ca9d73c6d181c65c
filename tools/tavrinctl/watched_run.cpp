#include "tools/tavrinctl/watched_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "link/unrequested.h"
#include "tools/tavrinctl/command_table.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/output.h"

namespace {

// Holds a run's output and error lines back in temporary files until the run
// is known to stand; then copies them to the real streams in one go.
class HeldOutput {
public:
    explicit HeldOutput(ToolContext& tool) : tool_(tool), out_(tool.out), err_(tool.err) {
        heldOut_ = std::tmpfile();
        heldErr_ = std::tmpfile();
        if (heldOut_ && heldErr_) {
            tool_.out = heldOut_;
            tool_.err = heldErr_;
        }
    }
    ~HeldOutput() {
        tool_.out = out_;
        tool_.err = err_;
        if (heldOut_) std::fclose(heldOut_);
        if (heldErr_) std::fclose(heldErr_);
    }
    HeldOutput(const HeldOutput&) = delete;
    HeldOutput& operator=(const HeldOutput&) = delete;

    // False, with the reason on the error stream, when what was held could not
    // be kept whole; the errors held are passed on all the same. A failed
    // write to the real streams shows in their error state.
    bool Release() {
        const int outError = Copy(heldOut_, out_);
        const int errError = Copy(heldErr_, err_);
        const int error = outError != 0 ? outError : errError;
        if (error != 0) PrintError(err_, "held output", std::strerror(error));
        return error == 0;
    }

private:
    // 0, or the errno of the held file's failure.
    static int Copy(FILE* from, FILE* to) {
        if (!from) return 0;
        if (std::fflush(from) != 0) return errno;
        if (std::ferror(from)) return EIO;
        std::rewind(from);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0) std::fwrite(buffer, 1, n, to);
        return std::ferror(from) ? EIO : 0;
    }
    ToolContext& tool_;
    FILE* out_;
    FILE* err_;
    FILE* heldOut_ = nullptr;
    FILE* heldErr_ = nullptr;
};

int Unrequested(ToolContext& tool) {
    PrintError(tool.err, tool.where, kTextUnrequestedReplies);
    return kExitFailure;
}

// A read's output is held back until its watch is read: a run made again
// prints only once, and a shifted run's values are never shown.
int RunReads(const ToolCommand& command, ToolContext& tool) {
    std::optional<HeldOutput> held;
    int status = kExitFailure;
    bool unrequested = false;
    RunReadsWatched(
        tool.link,
        [&] {
            held.reset();
            held.emplace(tool);
            tool.failed = false;
            tool.refused = false;
            tool.lastFailure = kResultOk;
            status = command.run(tool);
            // A refusal may have been another request's reply: such a run is
            // made again. A run that failed on its own is not.
            return status != kExitFailure;
        },
        unrequested);
    // What a failed run said stands, beside the word about the replies.
    if ((!unrequested || status == kExitFailure) && !held->Release()) return kExitFailure;
    held.reset();
    return unrequested ? Unrequested(tool) : status;
}

}  // namespace

int RunUnitCommand(const ToolCommand& command, ToolContext& tool) {
    switch (command.unitRun) {
    case UnitRun::Single:
        return command.run(tool);
    case UnitRun::Reads:
        return RunReads(command, tool);
    case UnitRun::Changes: {
        UnrequestedWatch watch(tool.link);
        const int status = command.run(tool);
        if (!watch.Clean() && status != kExitFailure) return Unrequested(tool);
        return status;
    }
    case UnitRun::SelfChecked: {
        // The operation checks where it matters (before a file is written,
        // before a load's closing read) and says so itself; the watch here
        // only makes the checks of its steps nest in it.
        UnrequestedWatch watch(tool.link);
        return command.run(tool);
    }
    }
    return command.run(tool);
}
