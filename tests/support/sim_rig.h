// A simulated unit reached by the real link over a pseudo-terminal (linked as
// ports/COMn in a temporary program folder) or over loopback TCP on a random
// 127.x.y.z address, with a recording window behind the link.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/remote_control.h"
#include "sim/sim_unit.h"
#include "support/recording_target.h"
#include "support/temp_folder.h"

namespace testsupport {

enum class Transport { Serial, Tcp };
const char* TransportName(Transport transport);

struct SimRigOptions {
    Transport transport = Transport::Serial;
    int address = 1;             // the unit's address
    bool k840 = false;
    uint32_t restartMs = 0;      // how long the unit is away after a restart
    int comIndex = 0;            // serial: the unit is ports/COM(comIndex+1)
    // As the desktop program sets them: a failed send or receive keeps the socket.
    bool keepSocketOnErrors = true;
    std::optional<uint32_t> readConstantMs;     // serial read time-outs, if not the link's own
    std::optional<uint32_t> readMultiplierMs;
    std::string logName;         // a transaction log in the folder, if named
    bool linkWindow = true;      // false: the link has no window at all
    bool oracle = false;         // every value names its code (sim::OracleValue)
    uint32_t seed = 1;           // the unit's seed (its random faults among others)
    uint32_t latencyMs = 0;      // TCP: every reply this much after its request
};

// What one exchange gave.
struct Exchange {
    ResultCode rc = 0;
    int status = 0;
    std::string data;
    std::chrono::milliseconds elapsed{0};
};

class SimRig {
public:
    explicit SimRig(SimRigOptions options = {});
    virtual ~SimRig();
    SimRig(const SimRig&) = delete;
    SimRig& operator=(const SimRig&) = delete;

    // Starts the unit, opens the link and makes one accepted exchange.
    bool Start();
    // Starts a fresh unit (same transport and address); sets `started`.
    bool StartUnit();
    bool RestartUnit() { return StartUnit(); }
    void StopUnit();
    // Opens the serial port or connects the socket (no exchange); sets `opened`.
    bool Open();

    // One exchange under the link's LinkMutex, timed.
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

    // The frames (STX..ETX) the unit took.
    std::vector<std::string> Requests() const { return unit->Requests(); }
    std::string LogPath() const { return folder.File(options.logName); }

    SimRigOptions options;
    Transport transport;
    TempFolder folder;
    RecordingTarget window;
    std::string tcpAddress;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<CFerritRemoteControl> link;
    bool started = false;
    bool opened = false;
};

}  // namespace testsupport
