#include "sim/sim_line.h"

#include <algorithm>
#include <chrono>

namespace sim {

namespace {
constexpr uint64_t kNsPerMs = 1000000;
constexpr uint64_t kNsPerS = 1000000000;
}  // namespace

LineClock::LineClock(uint32_t lineRate, uint32_t latencyMs, uint32_t thinkMs)
    : rate_(lineRate),
      byteNs_(lineRate ? (kBitsPerLineByte * kNsPerS + lineRate - 1) / lineRate : 0),
      latencyNs_(uint64_t(latencyMs) * kNsPerMs),
      thinkNs_(lineRate || latencyMs ? uint64_t(thinkMs) * kNsPerMs : 0) {}

uint64_t LineClock::SerialReplyStartNs(size_t requestBytes) const {
    return std::max(requestStartNs_, replyEndNs_) + requestBytes * byteNs_ + thinkNs_;
}

uint64_t LineClock::TcpReplyNs(uint64_t receivedNs) const { return receivedNs + thinkNs_ + latencyNs_; }

uint64_t LineNowNs() {
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

}  // namespace sim
