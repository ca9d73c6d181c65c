#include "params/poll_sample.h"

#include <cmath>
#include <limits>
#include <optional>

#include "platform/numbers.h"

int SampleColumnOfCode(std::string_view code) {
    for (int column = 0; column < kSampleColumnCount; ++column) {
        if (code == kSampleColumns[column].code) return column;
    }
    return -1;
}

std::optional<double> SampleNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    size_t begin = 0;
    while (begin < text.size() && IsAsciiSpace(text[begin])) ++begin;
    if (begin == text.size()) return std::nullopt;
    const char first = text[begin];
    if (!IsAsciiDigit(first) && first != '-' && first != '+' && first != '.') return std::nullopt;
    const double value = LeadingDouble(text);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

namespace {

LockState Lock(LampState state) {
    switch (state) {
    case LampState::Green: return LockState::On;
    case LampState::Red: return LockState::Off;
    case LampState::Grey: break;
    }
    return LockState::Unknown;
}

}  // namespace

HistoryPoint ToHistoryPoint(const PollSample& sample) {
    HistoryPoint point;
    point.timeMs = sample.timeMs;
    point.connected = sample.connected;
    for (int i = 0; i < kSeriesCount; ++i) {
        const std::optional<double> value = SampleNumber(sample.values[kFirstSeriesColumn + i]);
        point.series[i] = value ? static_cast<float>(*value) : std::numeric_limits<float>::quiet_NaN();
    }
    const Lamps lamps = SampleLamps(sample);
    point.locks[kBandDemodLock] = Lock(lamps.demodLock);
    point.locks[kBandReception] = Lock(lamps.reception);
    point.locks[kBandDecoderLock] = Lock(lamps.decoderLock);
    return point;
}
