// The reads of one poll cycle, the same eleven the desktop's poll thread makes
// (the sample columns, in their order), and the metric each one feeds.
#pragma once
#include <cstddef>

#include "params/poll_sample.h"

struct PollRead {
    SampleColumn column;  // the value read; its code is kSampleColumns[column].code
    const char* metric;   // metric family it feeds
    const char* input;    // the input label ("a".."d"), or nullptr
};

inline constexpr PollRead kPollReads[] = {
    {kColDemodLock, "tavrin_demod_locked", nullptr},
    {kColPacketErrors, "tavrin_packet_errors", nullptr},
    {kColDecoderLock, "tavrin_decoder_locked", nullptr},
    {kColSnrA, "tavrin_snr_db", "a"},
    {kColSnrB, "tavrin_snr_db", "b"},
    {kColSnrC, "tavrin_snr_db", "c"},
    {kColSnrD, "tavrin_snr_db", "d"},
    {kColLevelA, "tavrin_input_level_dbm", "a"},
    {kColLevelB, "tavrin_input_level_dbm", "b"},
    {kColLevelC, "tavrin_input_level_dbm", "c"},
    {kColLevelD, "tavrin_input_level_dbm", "d"},
};
inline constexpr size_t kPollReadCount = sizeof kPollReads / sizeof kPollReads[0];
static_assert(kPollReadCount == kSampleColumnCount, "every sample column is read");
inline constexpr size_t kPollDemodLock = kColDemodLock;      // rows the reception lamp is made of
inline constexpr size_t kPollPacketErrors = kColPacketErrors;
