// The simulated receiver unit: the unit's side of the protocol over a
// pseudo-terminal and over TCP, for tests, demos and training.
//
// A SimUnit keeps a working configuration and eight configuration slots per
// demodulator mode (one mode for a model "K840" unit), answers every parameter
// code with a value of the right form, restarts on gudm and ddef, changes its
// address on gadd, and can be told to misbehave (see Fault) from any thread.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct SimOptions {
    std::string ptyLinkPath;      // symbolic link to the pty slave ("" = none); replaced if it exists
    bool serial = true;           // open a pseudo-terminal
    std::string tcpAddress;       // "" = no TCP side; any 127.x.y.z for several units side by side
    uint16_t tcpPort = 9999;      // 0 = any free port (see TcpPort())
    bool k840 = false;            // model "K840" (one demodulator mode) or a two-mode unit
    int mode = 0;                 // starting demodulator mode of a two-mode unit (0 narrowband, 1 DVB-T)
    int address = 1;              // the unit's own address, 0..9998
    uint32_t restartMs = 7000;    // silence after gudm, ddef and RestartNow
    bool drift = true;            // SNR, levels and lock values wander (seeded)
    int64_t silentAfter = -1;     // answer this many requests, then none (-1 = no limit)
    uint32_t seed = 1;
    // Oracle: every demodulator, decoder and reception value names its code
    // (see OracleValue), so that a reply tells which request it answers.
    bool oracle = false;
    // Random faults: this share of replies (0..1) meets a fault drawn from
    // RandomFaultKinds(), with delays up to randomFaultMaxMs; seeded by `seed`.
    double randomFaultRate = 0.0;
    uint32_t randomFaultMaxMs = 600;
    // Request log: each frame taken in (as Requests() keeps them) is appended
    // to this file at once as one line, the text between STX and the checksum
    // ("0001w1ipf;1.234500;"). "" = none.
    std::string requestLogPath;
    // Line time (sim_line.h): the pseudo-terminal's bytes paced at lineRate
    // baud (0: at once), TCP replies delayed by latencyMs (the whole round
    // trip), and, when either is given, thinkMs of the unit's own per request.
    uint32_t lineRate = 0;
    uint32_t latencyMs = 0;
    uint32_t thinkMs = 2;
};

enum class Fault {
    None,
    Silence,          // no reply at all
    NoiseBeforeStx,   // a few noise bytes in front of the reply
    BadChecksum,      // the checksum byte of the reply is wrong
    NoEtx,            // the reply lacks its ETX
    SplitTcpSegment,  // the reply goes in two parts, its first 8 bytes, a pause (delayMs, 50 by
                      // default), the rest; on TCP as two segments of the enciphered envelope
    DropConnection,   // on TCP, the connection is closed instead of replying (serial: silence)
    SlowReply,        // the reply is sent after delayMs
    ReplyTwice,       // the reply is sent twice, back to back in one write
    ReplyTwiceApart,  // the reply is sent twice, as two writes (TCP: two sends), the second
                      // delayMs after the first (at once by default)
    Flood,            // after the reply, bytes without end for delayMs (3000 by default;
                      // kWithoutEnd: until StopFlood; on TCP until the connection is gone)
    Drip,             // the reply goes one byte at a time, one every delayMs (100 by default)
    OddAddress,       // the address read (gadd) reports delayMs' value as a number too big
                      // for a frame: 12345 by default
    Restart,          // no reply: the unit restarts (silent for restartMs, TCP dropped)
};

// The faults the random draw picks from. Left out: the repeat as a write of
// its own (ReplyTwiceApart), which may reach the link after its next request
// went out and cannot be told from that request's reply, since a reply carries
// no request identifier; and OddAddress, which changes the unit's answer.
const std::vector<Fault>& RandomFaultKinds();

// A fault delay that never runs out (a flood that goes on until StopFlood).
inline constexpr uint32_t kWithoutEnd = 0xFFFFFFFFu;

const char* FaultName(Fault fault);
// Accepts the names above in any letter case, e.g. "silence", "NoEtx".
bool ParseFault(const std::string& name, Fault* fault);

struct SimCounters {
    uint64_t framesTaken = 0;         // well-formed frames taken in while up (the request log)
    uint64_t badChecksum = 0;         // frames dropped for a bad checksum or a broken shape
    uint64_t otherAddress = 0;        // frames for another unit, ignored
    uint64_t ignoredRestarting = 0;   // frames that arrived while the unit restarted
    uint64_t replies = 0;             // replies sent (counted as they go out), serial or TCP
    uint64_t faultsApplied = 0;       // replies changed or withheld by a fault
    uint64_t tcpConnections = 0;      // TCP connections accepted
    uint64_t restarts = 0;            // restarts begun (gudm, ddef, RestartNow)
    uint64_t randomFaults = 0;        // faults drawn at random
    uint64_t repliesWithheld = 0;     // requests taken that a fault left without a reply
                                      // (silence, a dropped connection, a restart)
    uint64_t serialBytesIn = 0;       // bytes read from the pseudo-terminal
    uint64_t serialBytesOut = 0;      // bytes of replies written to it (not a flood's nor a drip's)
};

class SimUnit {
public:
    explicit SimUnit(SimOptions options);
    ~SimUnit();
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;

    // Opens the pty and/or the TCP listener and starts the worker thread.
    bool Start(std::string* error);
    // Stops and joins the worker (it wakes within its poll interval); removes the link.
    void Stop();

    std::string PtySlavePath() const;
    std::string TcpAddress() const;   // the listening address, "" when there is none
    uint16_t TcpPort() const;         // the port actually bound

    // Faults apply to the next `count` replies (-1: until cleared); with
    // `onlyCode` ("1loc") only to replies to requests for that code.
    void SetFault(Fault fault, int count = -1, uint32_t delayMs = 0, const std::string& onlyCode = "");
    void ClearFault();
    // Ends a flood that is going on (and any flood begun later, until the next SetFault).
    void StopFlood();
    // Answers the next `replies` requests, then falls silent for good (a unit
    // that stops half way through a long operation); -1 lifts the limit.
    void SetSilentAfter(int64_t replies);
    // Drops the TCP connection and stays silent for restartMs.
    void RestartNow();
    // Random faults from now on: `rate` of the replies (0 stops them), delays
    // up to maxDelayMs. An explicit SetFault goes first while it lasts.
    void SetRandomFaults(double rate, uint32_t maxDelayMs);

    // Frames taken in, STX..ETX, in order: those addressed to this unit or to
    // 9999, not those dropped for a bad checksum nor those ignored while
    // restarting. The oldest half is let go once the log holds kRequestLogLimit
    // frames, so a unit left running for days stays small.
    static constexpr size_t kRequestLogLimit = 100000;
    std::vector<std::string> Requests() const;
    void ClearRequests();
    SimCounters Counters() const;

    // Working configuration and unit values in their wire form.
    std::string Value(const std::string& code) const;
    void SetValue(const std::string& code, const std::string& wireValue);
    std::string SlotValue(int mode, int slot, const std::string& code) const;
    int Address() const;
    int Mode() const;
    int LastLoadedSlot() const;
    bool IsRestarting() const;
    bool IsK840() const;
    std::string LastKey(const std::string& code) const;   // zebs, zaes, za25

    // The request handling without any I/O: takes one frame (STX..ETX), updates
    // the unit and returns the reply frame, or "" when the unit stays silent.
    // Faults are not applied here. Safe for any input bytes.
    std::string HandleFrame(const std::string& frame);

    struct State;   // the unit's state (sim_state.cpp)

private:
    struct Io;
    std::unique_ptr<State> state_;
    std::unique_ptr<Io> io_;
};

// Builds a reply frame: STX, address "%04d", status, data, ';', checksum, ETX.
std::string BuildReplyFrame(int address, char status, const std::string& data);

// ---- the oracle -----------------------------------------------------------
// Each code of the unit's table has a two-digit tag of its own (10 and up).
// A value of the oracle keeps the code's form and, where the form can carry
// it, starts with the tag: integer "TTnnnn", number "TT.nnnn", frequency
// "TT.00nnnn" (GHz), text "TT-nnnn"; nnnn is a counter (the slot for stored
// settings, a running count for reception values). Option and radio values
// are a valid choice of the code's list and cannot carry the tag.

// The oracle's value of `code` in `mode` for counter `n`; "" for a code the
// unit does not know.
std::string OracleValue(const std::string& code, int mode, uint32_t n);
// True when the oracle's values of `code` carry its tag.
bool OracleTells(const std::string& code);
// True when `value` may be the oracle's answer to a read of `code`: for a
// code that OracleTells, it carries that code's tag in the code's form.
bool OracleBelongs(const std::string& code, const std::string& value);

}  // namespace sim
