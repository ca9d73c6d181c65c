// The bridge's poll cycle: the desktop's poll plan, then reads of its own,
// and the metric each read feeds.
#pragma once
#include <array>
#include <cstddef>

#include "params/poll_plan.h"

// A metric family and its input label ("a".."d"), or nullptr for none; the
// reading is the reply's number times 10^powerOfTen (GHz on the wire, hertz
// in the metric: 9).
struct PollMetric {
    const char* family;
    const char* input;
    int powerOfTen = 0;
};

// What the desktop's reads feed, by sample column. The lock reads feed the
// lamp gauges (tavrin_demod_locked, tavrin_reception_ok,
// tavrin_decoder_locked), which follow the lamp rule, not the reading.
inline constexpr std::array<PollMetric, kSampleColumnCount> kPlanMetrics = {{
    {nullptr, nullptr},
    {"tavrin_packet_errors", nullptr},
    {nullptr, nullptr},
    {"tavrin_snr_db", "a"},
    {"tavrin_snr_db", "b"},
    {"tavrin_snr_db", "c"},
    {"tavrin_snr_db", "d"},
    {"tavrin_input_level_dbm", "a"},
    {"tavrin_input_level_dbm", "b"},
    {"tavrin_input_level_dbm", "c"},
    {"tavrin_input_level_dbm", "d"},
}};

// A read the bridge makes after the desktop's, and the metric it feeds (its
// family is one of the exposition's poll families).
struct BridgeRead {
    PollRead read;
    PollMetric metric;
};
// Five exchanges more per cycle than the desktop's eleven; no flag switches
// them off, a failed one ends the cycle as any other.
inline constexpr std::array<BridgeRead, 5> kBridgeReads = {{
    {{"1pre", "ber_pre_errors", PollItemAlways, PollStop::EndsCycle}, {"tavrin_ber_pre_errors", nullptr}},
    {{"1pos", "ber_post_errors", PollItemAlways, PollStop::EndsCycle}, {"tavrin_ber_post_errors", nullptr}},
    {{"dlas", "config_slot", PollItemAlways, PollStop::EndsCycle}, {"tavrin_config_slot", nullptr}},
    {{"gudm", "demod_mode", PollItemAlways, PollStop::EndsCycle}, {"tavrin_demod_mode", nullptr}},
    {{"1ipf", "input_frequency_hertz", PollItemAlways, PollStop::EndsCycle},
     {"tavrin_input_frequency_hertz", nullptr, 9}},
}};

inline constexpr size_t kBridgePollRows = kSampleColumnCount + kBridgeReads.size();

// The bridge's plan: the desktop's, then its own reads.
inline constexpr std::array<PollRead, kBridgePollRows> kBridgePollPlan = [] {
    std::array<PollRead, kBridgePollRows> plan{};
    for (size_t i = 0; i < kSampleColumnCount; ++i) plan[i] = kPollPlan[i];
    for (size_t i = 0; i < kBridgeReads.size(); ++i) plan[kSampleColumnCount + i] = kBridgeReads[i].read;
    return plan;
}();

// The metric a row of kBridgePollPlan feeds.
constexpr const PollMetric& BridgePollMetric(size_t row) {
    return row < kSampleColumnCount ? kPlanMetrics[row] : kBridgeReads[row - kSampleColumnCount].metric;
}
