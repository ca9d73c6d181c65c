// One poll cycle's readings as the unit sent them: the eleven values the poll
// cycle reads, the columns they fill in recordings, and the compact point the
// signal history keeps of them.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum SampleColumn : int {
    kColDemodLock = 0,
    kColPacketErrors,
    kColDecoderLock,
    kColSnrA,
    kColSnrB,
    kColSnrC,
    kColSnrD,
    kColLevelA,
    kColLevelB,
    kColLevelC,
    kColLevelD,
    kSampleColumnCount,
};

// The four SNR values and the four input levels are the plotted series.
inline constexpr int kSeriesCount = 8;
inline constexpr int kFirstSeriesColumn = kColSnrA;

struct SampleColumnInfo {
    const char* code;   // the unit's code read for it
    const char* name;   // the column name in recordings ("snr_a_db")
};
extern const std::array<SampleColumnInfo, kSampleColumnCount> kSampleColumns;

// The column a code fills, or -1.
int SampleColumnOfCode(std::string_view code);

struct PollSample {
    int64_t timeMs = 0;       // wall clock, ms since 1970 UTC, when the cycle ended
    bool connected = false;   // the unit answered at least one exchange of the cycle
    // As the unit sent them; empty when not polled or not received in the cycle.
    std::array<std::string, kSampleColumnCount> values;
};

// Lock states of a point: not known (not read), off, on.
enum class LockState : int8_t { Unknown = -1, Off = 0, On = 1 };
enum LockBand : int { kBandDemodLock = 0, kBandReception, kBandDecoderLock, kLockBandCount };

// What the history keeps of one sample: 48 bytes.
struct HistoryPoint {
    int64_t timeMs = 0;
    float series[kSeriesCount];          // NaN: no value in that cycle
    LockState locks[kLockBandCount];
    bool connected = false;
};

// Numbers are read whatever the locale; a value that does not start with a
// number is NaN. Reception is on when the demodulator is locked and the
// packet-error count is 0, as the lamp shows it.
HistoryPoint ToHistoryPoint(const PollSample& sample);

// Receives every poll cycle's sample, on the poll thread.
class IPollSampleSink {
public:
    virtual ~IPollSampleSink() = default;
    virtual void OnPollSample(const PollSample& sample) = 0;
};
