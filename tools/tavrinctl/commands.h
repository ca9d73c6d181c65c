// tavrinctl's commands. Each returns the process exit status (exit_status.h):
// 0 when every exchange succeeded, 1 when one failed, 3 when the unit refused
// a request (the reason on standard error).
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "link/result_codes.h"
#include "link/unit_reply.h"
#include "params/unit_state.h"
#include "tools/tavrinctl/args.h"
#include "tools/tavrinctl/exit_status.h"

class CFerritRemoteControl;
struct PollSample;

using ExchangeReply = UnitReply;

// What every command has at hand.
class ToolContext {
public:
    ToolContext(CFerritRemoteControl& link, const ToolOptions& options, int address, FILE* out, FILE* err);

    // The link's Exchange under its LinkMutex. A failure is recorded and reported
    // on the error stream, naming `what` (a code) or else the connection.
    ExchangeReply Exchange(const std::string& request, uint8_t logLevel = 1, const std::string& what = "");
    // Records a failure (shown on the error stream).
    void Fail(ResultCode code, const std::string& what = "");
    // Records that the unit refused `code` ('E'), with the data it sent.
    void Refuse(const std::string& code, const std::string& data);
    // The unit stopped answering or the transport failed: the remaining
    // exchanges of a command are skipped rather than each waiting its time-out.
    bool LinkGone() const { return MeansNoReply(lastFailure); }
    int ExitStatus() const { return failed ? kExitFailure : refused ? kExitRefused : kExitSuccess; }

    CFerritRemoteControl& link;
    const ToolOptions& options;
    int address;
    UnitState unit;   // the values read from the unit this run
    FILE* out;
    FILE* err;
    std::string where;   // the connection as given: device path, COMn or IP address
    bool failed = false;
    bool refused = false;
    ResultCode lastFailure = kResultOk;
};

// The checks of a command's arguments, made before anything is opened or
// sent. Each returns an empty text when they are fine, else the reason (exit
// status 2).
std::string CheckSendArguments(const ToolOptions& options);
std::string CheckReadArguments(const ToolOptions& options);
std::string CheckWriteArguments(const ToolOptions& options);
std::string CheckKeyArguments(const ToolOptions& options);

int RunProbe(ToolContext& tool);
int RunSend(ToolContext& tool);
int RunRead(ToolContext& tool);
int RunWrite(ToolContext& tool);
int RunKey(ToolContext& tool);
int RunStatus(ToolContext& tool);
int RunDump(ToolContext& tool);
// The poll cycle until --count or a signal (watch.cpp).
int RunWatch(ToolContext& tool);
// watch's loop: the poll cycle every --interval, each cycle's sample handed to
// `each` with a steady-clock time, until --count cycles, a signal (status 0)
// or `each` returns false (status 1, `each` has said why).
int RunPollCycles(ToolContext& tool, const std::function<bool(const PollSample&, int64_t steadyMs)>& each);
// One line on standard output, flushed; false when it could not be written.
bool FlushLine(ToolContext& tool, const std::string& line);
// The alarm rules over a watch: raise and clear lines (alarms.cpp).
int RunAlarms(ToolContext& tool);

// Configuration files (files.cpp).
int RunSaveConfig(ToolContext& tool);
int RunLoadConfig(ToolContext& tool);
int RunSaveSet(ToolContext& tool);
int RunLoadSet(ToolContext& tool);
// Works without a unit.
int RunInspect(const ToolOptions& options, FILE* out, FILE* err);
