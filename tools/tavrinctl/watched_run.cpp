#include "tools/tavrinctl/watched_run.h"

#include <cstdio>

#include "link/unrequested.h"
#include "tools/tavrinctl/command_table.h"
#include "tools/tavrinctl/commands.h"

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

    void Release() {
        Copy(heldOut_, out_);
        Copy(heldErr_, err_);
    }

private:
    static void Copy(FILE* from, FILE* to) {
        if (!from) return;
        std::fflush(from);
        std::rewind(from);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, from)) > 0) std::fwrite(buffer, 1, n, to);
    }
    ToolContext& tool_;
    FILE* out_;
    FILE* err_;
    FILE* heldOut_ = nullptr;
    FILE* heldErr_ = nullptr;
};

int Unrequested(ToolContext& tool) {
    std::fprintf(tool.err, "tavrinctl: %s\n", kTextUnrequestedReplies);
    return 1;
}

int RunReads(const ToolCommand& command, ToolContext& tool) {
    UnrequestedWatch watch(tool.link);
    for (int attempt = 0; attempt < 2; ++attempt) {
        HeldOutput held(tool);
        tool.failed = false;
        tool.lastFailure = kResultOk;
        const int status = command.run(tool);
        const bool clean = watch.Clean();
        // A run that failed on its own is not made again: what it said stands.
        if (clean || status != 0) {
            held.Release();
            return clean ? status : Unrequested(tool);
        }
        watch.Restart();
    }
    return Unrequested(tool);
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
        if (!watch.Clean() && status == 0) return Unrequested(tool);
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
