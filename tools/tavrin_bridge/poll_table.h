// The reads of one poll cycle, the same eleven the desktop's poll thread makes,
// and the metric each one feeds. One table, so that it can follow a shared one.
#pragma once
#include <cstddef>

struct PollRead {
    const char* code;     // parameter code read with "r<code>;;"
    const char* metric;   // metric family it feeds
    const char* input;    // the input label ("a".."d"), or nullptr
};

inline constexpr PollRead kPollReads[] = {
    {"1loc", "tavrin_demod_locked", nullptr},
    {"1pkt", "tavrin_packet_errors", nullptr},
    {"eloc", "tavrin_decoder_locked", nullptr},
    {"1snr", "tavrin_snr_db", "a"},
    {"1mer", "tavrin_snr_db", "b"},
    {"1cer", "tavrin_snr_db", "c"},
    {"1dnr", "tavrin_snr_db", "d"},
    {"1ina", "tavrin_input_level_dbm", "a"},
    {"1inb", "tavrin_input_level_dbm", "b"},
    {"1inc", "tavrin_input_level_dbm", "c"},
    {"1ind", "tavrin_input_level_dbm", "d"},
};
inline constexpr size_t kPollReadCount = sizeof kPollReads / sizeof kPollReads[0];
inline constexpr size_t kPollDemodLock = 0;      // rows the reception lamp is made of
inline constexpr size_t kPollPacketErrors = 1;
