// The bridge's metrics text from one poll cycle: readings by their plan rows,
// lamp gauges from the lamp rule (left out while a lamp is grey).
#include <gtest/gtest.h>

#include <string>

#include "tools/tavrin_bridge/metrics.h"

TEST(BridgeMetricsText, LampGaugesFollowTheLampsAndReadingsTheirRows) {
    BridgeMetrics metrics("rx1");
    BridgeMetrics::PollValues values{};
    values[kColPacketErrors] = 3;
    values[kColSnrB] = 17.5;
    values[kSampleColumnCount + 4] = 1750000000;   // the input frequency, Hz
    metrics.SetPollCycle(values, Lamps{LampState::Green, LampState::Grey, LampState::Red}, 0.25);
    const std::string text = metrics.Exposition();
    for (const char* line : {"tavrin_demod_locked{unit=\"rx1\"} 1\n", "tavrin_decoder_locked{unit=\"rx1\"} 0\n",
                             "tavrin_packet_errors{unit=\"rx1\"} 3\n", "tavrin_snr_db{unit=\"rx1\",input=\"b\"} 17.5\n",
                             "# TYPE tavrin_reception_ok gauge\n",
                             "tavrin_input_frequency_hertz{unit=\"rx1\"} 1750000000\n",
                             "tavrin_poll_cycle_duration_seconds{unit=\"rx1\"} 0.25\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    for (const char* absent : {"tavrin_reception_ok{", "input=\"a\"", "tavrin_last_success_timestamp_seconds{"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << text;
}
