// One poll cycle's readings as the unit sent them: the eleven values the poll
// cycle reads, the columns they fill in recordings, and the compact point the
// signal history keeps of them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "params/lamps.h"
#include "params/poll_plan.h"

// The four SNR values and the four input levels are the plotted series.
inline constexpr int kSeriesCount = 8;
inline constexpr int kFirstSeriesColumn = kColSnrA;

// The columns are the poll plan's reads.
using SampleColumnInfo = PollRead;
inline constexpr const std::array<PollRead, kSampleColumnCount>& kSampleColumns = kPollPlan;

// The column a code fills, or -1.
int SampleColumnOfCode(std::string_view code);

struct PollSample {
    int64_t timeMs = 0;       // wall clock, ms since 1970 UTC, when the cycle ended
    bool connected = false;   // the unit answered at least one exchange of the cycle
    // As the unit sent them; empty when not polled or not received in the cycle.
    std::array<std::string, kSampleColumnCount> values;
    uint8_t itemsRead = kEveryPollItem;   // bit (1 << PollItem) per item the cycle ran
    bool shifted = false;                 // a reply came unasked: the values are unknown
    LampMemory lampsBefore;               // what the lamps showed before the cycle
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

// A sample's value as a number, whatever the locale: the unit's text read as
// its leading number; nullopt when empty or not starting with a number.
std::optional<double> SampleNumber(const std::string& text);

// Numbers are read as SampleNumber does; a value that does not start with a
// number is NaN. The lock bands are the sample's lamps (SampleLamps): green
// on, red off, grey unknown.
HistoryPoint ToHistoryPoint(const PollSample& sample);

// Receives every poll cycle's sample, on the poll thread.
class IPollSampleSink {
public:
    virtual ~IPollSampleSink() = default;
    virtual void OnPollSample(const PollSample& sample) = 0;
};
