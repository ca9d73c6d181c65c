// The bridge as a real process in front of a simulated unit on a
// pseudo-terminal (or on TCP), with clients of every kind: raw sockets, the link object
// over loopback and tavrinctl processes.
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/blowfish.h"
#include "link/remote_control.h"
#include "sim/sim_unit.h"
#include "support/temp_folder.h"

namespace bridgetest {

using namespace std::chrono_literals;

std::string BinPath(const std::string& program);

// A program started with posix_spawn, its output in files of its own folder.
class Process {
public:
    ~Process();
    // `closed`: standard descriptors (0 to 2) the program starts without.
    bool Start(const std::string& program, const std::vector<std::string>& args, const std::vector<int>& closed = {});
    // "NAME=value" entries on top of the test's environment, for the next Start.
    std::vector<std::string> environment;
    // Sends `signal` and waits (bounded) for the end; the exit status, or
    // 128 + signal, or -1 when it had to be killed.
    int Stop(int signal = SIGTERM, std::chrono::milliseconds limit = 10s);
    bool Running() const { return pid_ > 0; }
    std::string Err() const;
    std::string Out() const;
    // The file standard error goes to (the same file from one Start to the next).
    std::string ErrFile() const { return io_.File("err"); }
    pid_t Pid() const { return pid_; }

private:
    testsupport::TempFolder io_{"tavrin-proc"};
    pid_t pid_ = -1;
};

// True once a TCP connection to ip:port is accepted (within `limit`).
bool WaitForListener(const std::string& ip, uint16_t port, std::chrono::milliseconds limit = 10s);
// GET http://ip:port/path: the body, or nothing when there is no 200 answer.
std::optional<std::string> HttpGet(const std::string& ip, uint16_t port, const std::string& path);
// Runs `program` with `input` on standard input: exit status and output.
struct ProgramResult {
    int exitCode = -1;
    std::string out;
};
ProgramResult RunWithInput(const std::string& program, const std::vector<std::string>& args,
                           const std::string& input);

// One sample of a metrics text, by its full series text before the value,
// e.g. tavrin_snr_db{unit="u",input="a"}.
std::optional<double> Sample(const std::string& exposition, const std::string& series);

inline constexpr uint16_t kMetricsPort = 9464;

struct RigOptions {
    std::vector<std::string> extraArgs;   // more options of the bridge
    uint32_t intervalMs = 200;
    bool metrics = true;
    uint32_t restartMs = 300;
    std::string name = "unit1";
    bool unitOverTcp = false;   // the unit on TCP port 9999 of a loopback address of its own
    bool viaComPort = false;    // the unit's pty as ports/COM1 of a program folder: --com 1
    bool oracle = false;        // every value names its code (sim::OracleValue)
    uint32_t seed = 1;          // the unit's seed (its random faults among others)
};

// A simulated unit (no drift) on a pseudo-terminal, or on TCP, and a bridge in
// front of it, listening on port 9999 and serving metrics on port 9464 of one
// random loopback address.
class BridgeRig {
public:
    explicit BridgeRig(RigOptions options = {});
    ~BridgeRig();
    // Starts the unit and the bridge and waits for the bridge's listeners.
    bool Start();
    // The unit alone (again, after it was stopped: a new pty at the same path).
    bool StartUnit(int address = 1);
    bool StartBridge();
    std::optional<std::string> Metrics() const { return HttpGet(ip, kMetricsPort, "/metrics"); }
    // Waits until `series` in the metrics reads `value`.
    bool WaitForSample(const std::string& series, double value, std::chrono::milliseconds limit = 20s) const;
    std::string Series(const std::string& name, const std::string& extra = "") const;

    RigOptions options;
    testsupport::TempFolder folder{"tavrin-bridge"};
    std::string ip;
    std::string unitIp;   // the unit's own address when it is on TCP
    std::unique_ptr<sim::SimUnit> unit;
    Process bridge;
};

// A client that talks to the bridge with the link object, as the desktop does.
class LinkClient {
public:
    explicit LinkClient(const std::string& ip);
    bool Connected() const { return connected_; }
    // One exchange: the reply's data, or nothing when it failed.
    std::optional<std::string> Read(const std::string& code, int address = 1);
    ResultCode Transact(const std::string& text, int* status, std::string* data);
    CFerritRemoteControl link{nullptr};

private:
    bool connected_ = false;
};

// A client on a raw socket.
class RawClient {
public:
    // `from`: the local address to connect from (default: the system's choice).
    explicit RawClient(const std::string& ip, uint16_t port = 9999, const std::string& from = "");
    ~RawClient();
    bool Connected() const { return fd_ >= 0; }
    bool SendBytes(const std::string& bytes);
    // Sends `frame` in an envelope.
    bool SendFrame(const std::string& frame);
    // The first whole blocks that came within `limit` (empty when none came).
    std::string Receive(std::chrono::milliseconds limit);
    // True when the bridge closes the connection within `limit`.
    bool WaitClosed(std::chrono::milliseconds limit);
    // The data of the replies that came, in order, until `count` have or
    // `limit` is over ("?" for a reply that is none).
    std::vector<std::string> Replies(size_t count, std::chrono::milliseconds limit);
    void Close();

private:
    int fd_ = -1;
    Blowfish cipher_;
    std::string pending_;
};

// The share of one processor `pid` used over `window`.
double CpuShare(pid_t pid, std::chrono::milliseconds window);

Blowfish LinkCipher();

}  // namespace bridgetest
