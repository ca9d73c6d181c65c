// Opening the link the way the desktop program does: the serial port or the
// TCP connection, the transaction log, then the any-unit probe.
#pragma once
#include <string>

#include "link/result_codes.h"
#include "tools/tavrinctl/args.h"

class CFerritRemoteControl;

struct ConnectOutcome {
    ResultCode result = kResultOk;   // the failing exchange or open, 0 when connected
    std::string reason;              // why, in the system's words when it has some ("" when not known)
    int address = 1;                 // the unit address to use from now on
    bool probed = false;             // the probe was sent and answered
};

// The connection as the command line gave it: the device path, "COMn" or the
// IP address; what error lines about the unit name.
std::string ConnectionName(const ToolOptions& options);

// Opens the transport chosen in `options`, sends the probe unless --no-probe
// and settles the unit address (--address wins over the probe's answer).
ConnectOutcome ConnectUnit(const ToolOptions& options, CFerritRemoteControl& link);

