// tavrinctl's commands. Each returns the process exit status: 0 when every
// exchange succeeded, 1 when one failed (its text on standard error).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "link/result_codes.h"
#include "link/unit_reply.h"
#include "tools/tavrinctl/args.h"

class CFerritRemoteControl;

using ExchangeReply = UnitReply;

// What every command has at hand.
class ToolContext {
public:
    ToolContext(CFerritRemoteControl& link, const ToolOptions& options, int address, FILE* out, FILE* err)
        : link(link), options(options), address(address), out(out), err(err) {}

    // The link's Exchange under LinkLock. A failure is recorded and reported
    // on the error stream, prefixed by `what` when given.
    ExchangeReply Exchange(const std::string& request, uint8_t logLevel = 1, const std::string& what = "");
    // Records a failure (shown on the error stream).
    void Fail(ResultCode code, const std::string& what = "");
    // The unit stopped answering or the transport failed: the remaining
    // exchanges of a command are skipped rather than each waiting its time-out.
    bool LinkGone() const { return MeansNoReply(lastFailure); }
    int ExitStatus() const { return failed ? 1 : 0; }

    CFerritRemoteControl& link;
    const ToolOptions& options;
    int address;
    FILE* out;
    FILE* err;
    bool failed = false;
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

// Configuration files (files.cpp).
int RunSaveConfig(ToolContext& tool);
int RunLoadConfig(ToolContext& tool);
int RunSaveSet(ToolContext& tool);
int RunLoadSet(ToolContext& tool);
// Works without a unit.
int RunInspect(const ToolOptions& options, FILE* out, FILE* err);
