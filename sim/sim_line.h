// Line time: when the simulated unit may answer a request and when each byte
// of its reply may leave, on a serial line of a given rate (10 bits a byte:
// start bit, 8 data bits, stop bit) or behind a network of a given latency.
//
// The pseudo-terminal delivers a request at once, whatever its length; on a
// real line its last byte arrives a byte time per byte after its first. The
// clock therefore takes the request's start as the later of the moment its
// first byte (the STX) was seen and the moment the unit's previous reply left
// the line (a line carries one frame at a time in each direction, and the
// program sends only after a reply is in), adds the request's line time and
// the unit's own time per request (think), and lets the reply start no
// earlier; the reply's byte i (0-based) leaves no earlier than i + 1 byte
// times after the reply's start. Over TCP a reply leaves think + latency
// after its request was complete: the latency is the whole round trip.
//
// No I/O here: the times are steady-clock nanoseconds the caller supplies.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sim {

inline constexpr uint32_t kBitsPerLineByte = 10;

class LineClock {
public:
    // lineRate in baud (0: the pseudo-terminal is not paced); latencyMs for
    // TCP (0: no delay). thinkMs counts only when one of the two is given.
    LineClock(uint32_t lineRate, uint32_t latencyMs, uint32_t thinkMs);

    bool PacesSerial() const { return rate_ != 0; }
    // Whether replies wait at all (line time, think time or latency).
    bool Delays() const { return rate_ != 0 || latencyNs_ != 0; }
    // Line time of one byte, in nanoseconds (0 when not paced).
    uint64_t ByteNs() const { return byteNs_; }

    // The first byte of a serial request was seen at `nowNs`.
    void RequestStarted(uint64_t nowNs) { requestStartNs_ = nowNs; }
    // The earliest moment the reply to a serial request of `requestBytes`
    // (STX to ETX) may start leaving.
    uint64_t SerialReplyStartNs(size_t requestBytes) const;
    // The moment byte `index` of a reply started at `startNs` has left.
    uint64_t ByteDoneNs(uint64_t startNs, size_t index) const { return startNs + (index + 1) * byteNs_; }
    // The reply's last byte left at `nowNs`.
    void ReplyFinished(uint64_t nowNs) { replyEndNs_ = nowNs; }

    // The earliest moment the reply to a TCP request complete at `receivedNs` may leave.
    uint64_t TcpReplyNs(uint64_t receivedNs) const;

private:
    uint32_t rate_;
    uint64_t byteNs_;
    uint64_t latencyNs_;
    uint64_t thinkNs_;
    uint64_t requestStartNs_ = 0;
    uint64_t replyEndNs_ = 0;
};

// Steady-clock nanoseconds.
uint64_t LineNowNs();

}  // namespace sim
