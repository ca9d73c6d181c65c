// A simulated unit reached by the real link over a pseudo-terminal (linked as
// ports/COM1 in a temporary program folder) or over loopback TCP, with the
// link's flags and time-outs as the desktop program sets them.
#pragma once
#include <chrono>
#include <memory>
#include <string>

#include "faults/fault_support.h"
#include "link/remote_control.h"
#include "sim/sim_unit.h"

enum class Transport { Serial, Tcp };
const char* TransportName(Transport transport);

// What one exchange gave.
struct Exchange {
    ResultCode rc = 0;
    int status = 0;
    std::string data;
    std::chrono::milliseconds elapsed{0};
};

class UnitRig {
public:
    // Short serial read time-outs keep the silent cases quick; the bounds below
    // are derived from whatever is configured.
    static constexpr uint32_t kReadConstantMs = 300;
    static constexpr uint32_t kReadMultiplierMs = 1;
    static constexpr uint32_t kRestartMs = 1200;
    // Slack on top of the protocol's own bound: scheduling on a busy machine.
    static constexpr std::chrono::milliseconds kSlack{2000};

    explicit UnitRig(Transport transport);
    ~UnitRig();

    // Starts the unit and connects the link to it (one accepted exchange).
    bool Start();
    // Starts a fresh unit (same transport and address) after StopUnit.
    bool RestartUnit();
    void StopUnit();

    // One exchange under LinkLock, timed.
    Exchange Transact(const std::string& requestText, uint8_t logLevel = 1);

    // The longest a single attempt may take before it is given up: one serial
    // byte read, or the socket's receive time-out.
    std::chrono::milliseconds AttemptBound() const;

    // Waits until the unit has taken `count` frames in all.
    bool WaitForFrames(uint64_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Waits until the unit has begun sending `count` replies in all.
    bool WaitForReplies(uint64_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Waits until bytes are waiting on the link's socket (or in the kernel's
    // queue of its port; the port's own read buffer is not seen).
    bool WaitForInput(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    Transport transport;
    TempFolder folder;
    RecordingWindow window;
    std::string tcpAddress;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<CFerritRemoteControl> link;
};
