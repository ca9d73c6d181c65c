// The poll cycle as one table: the eleven reads, in their order, each with
// the poll item whose flag switches it and the column it fills in a sample.
// The bridge runs the same table with reads of its own after it.
#pragma once
#include <array>
#include <cstdint>

// The poll items, each switched by its byte of PollItemFlags.
enum PollItem : int {
    PollItemAlways = -1,   // a read no flag switches off (the bridge's own)
    PollItemDemodLock = 0,
    PollItemDecoderLock = 1,
    PollItemSnr = 2,
    PollItemLevels = 3,
    PollItemCount = 4,
};

// What a stop request noticed after a read does.
enum class PollStop : uint8_t {
    EndsCycle,   // the cycle ends at once
    EndsItem,    // the rest of this read's item is skipped, the next item runs
};

struct PollRead {
    const char* code;   // the unit's code read
    const char* name;   // the column name in recordings ("snr_a_db")
    PollItem item;
    PollStop stop;
};

// The plan's reads by name: the columns of a poll sample, in plan order.
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

inline constexpr std::array<PollRead, kSampleColumnCount> kPollPlan = {{
    {"1loc", "demod_lock", PollItemDemodLock, PollStop::EndsCycle},
    {"1pkt", "packet_errors", PollItemDemodLock, PollStop::EndsCycle},
    {"eloc", "decoder_lock", PollItemDecoderLock, PollStop::EndsCycle},
    {"1snr", "snr_a_db", PollItemSnr, PollStop::EndsItem},
    {"1mer", "snr_b_db", PollItemSnr, PollStop::EndsItem},
    {"1cer", "snr_c_db", PollItemSnr, PollStop::EndsItem},
    {"1dnr", "snr_d_db", PollItemSnr, PollStop::EndsItem},
    {"1ina", "level_a_dbm", PollItemLevels, PollStop::EndsCycle},
    {"1inb", "level_b_dbm", PollItemLevels, PollStop::EndsCycle},
    {"1inc", "level_c_dbm", PollItemLevels, PollStop::EndsCycle},
    {"1ind", "level_d_dbm", PollItemLevels, PollStop::EndsCycle},
}};

// Every poll item, as a sample's itemsRead bits.
inline constexpr uint8_t kEveryPollItem = (1u << PollItemCount) - 1;
