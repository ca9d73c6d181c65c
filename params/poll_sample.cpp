#include "params/poll_sample.h"

#include <cmath>
#include <limits>
#include <optional>

#include "platform/numbers.h"

const std::array<SampleColumnInfo, kSampleColumnCount> kSampleColumns = {{
    {"1loc", "demod_lock"},
    {"1pkt", "packet_errors"},
    {"eloc", "decoder_lock"},
    {"1snr", "snr_a_db"},
    {"1mer", "snr_b_db"},
    {"1cer", "snr_c_db"},
    {"1dnr", "snr_d_db"},
    {"1ina", "level_a_dbm"},
    {"1inb", "level_b_dbm"},
    {"1inc", "level_c_dbm"},
    {"1ind", "level_d_dbm"},
}};

int SampleColumnOfCode(std::string_view code) {
    for (int column = 0; column < kSampleColumnCount; ++column) {
        if (code == kSampleColumns[column].code) return column;
    }
    return -1;
}

namespace {

std::optional<double> Number(const std::string& text) {
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

LockState Lock(const std::optional<double>& value) {
    if (!value) return LockState::Unknown;
    return *value == 1.0 ? LockState::On : LockState::Off;
}

}  // namespace

HistoryPoint ToHistoryPoint(const PollSample& sample) {
    HistoryPoint point;
    point.timeMs = sample.timeMs;
    point.connected = sample.connected;
    for (int i = 0; i < kSeriesCount; ++i) {
        const std::optional<double> value = Number(sample.values[kFirstSeriesColumn + i]);
        point.series[i] = value ? static_cast<float>(*value) : std::numeric_limits<float>::quiet_NaN();
    }
    const std::optional<double> demod = Number(sample.values[kColDemodLock]);
    const std::optional<double> errors = Number(sample.values[kColPacketErrors]);
    point.locks[kBandDemodLock] = Lock(demod);
    point.locks[kBandDecoderLock] = Lock(Number(sample.values[kColDecoderLock]));
    // The reception lamp needs both readings of the cycle.
    if (demod && errors) {
        point.locks[kBandReception] = (*demod == 1.0 && *errors == 0.0) ? LockState::On : LockState::Off;
    } else {
        point.locks[kBandReception] = LockState::Unknown;
    }
    return point;
}
