// Opening the link the way the desktop program does: the serial port or the
// TCP connection, the transaction log, then the any-unit probe.
#pragma once
#include <string>

#include "link/result_codes.h"
#include "tools/tavrinctl/args.h"

class CFerritRemoteControl;

struct ConnectOutcome {
    ResultCode result = kResultOk;   // the failing exchange or open, 0 when connected
    std::string detail;              // extra words for the operator ("" when none)
    int address = 1;                 // the unit address to use from now on
    bool probed = false;             // the probe was sent and answered
};

// Opens the transport chosen in `options`, sends the probe unless --no-probe
// and settles the unit address (--address wins over the probe's answer).
ConnectOutcome ConnectUnit(const ToolOptions& options, CFerritRemoteControl& link);

