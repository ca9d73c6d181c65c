// The simulated unit runs inside the desktop program's tests, whose Qt
// application sets the locale from the environment: its numbers and its
// names must not follow it.
#include <gtest/gtest.h>

#include <regex>

#include "sim_test_util.h"
#include "support/scoped_locale.h"

using simtest::Frame;
using testsupport::ScopedLocale;

namespace {

std::string Data(sim::SimUnit& u, const std::string& text) {
    std::string kept;
    ParsedReply out;
    const std::string reply = u.HandleFrame(Frame(text));
    EXPECT_EQ(AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, out), kResultOk);
    EXPECT_EQ(out.status, '1') << text;
    return out.data;
}

TEST(SimLocale, NumbersKeepThePointUnderACommaLocale) {
    for (const char* name : {testsupport::kCommaLocale, testsupport::kTurkishLocale}) {
        SCOPED_TRACE(name);
        ScopedLocale locale(name);
        ASSERT_TRUE(locale.Active());
        sim::SimOptions o;
        o.serial = false;
        o.restartMs = 0;
        o.drift = true;
        o.seed = 7;
        sim::SimUnit u(o);
        EXPECT_EQ(Data(u, "0001r1ipf;;"), "1.750000");
        EXPECT_EQ(Data(u, "0001w1ipf;1.2345;"), "1.234500");
        EXPECT_EQ(u.Value("1ipf"), "1.234500");
        // Drifting values: "%.1f" SNR and levels, "%010.3f" pre-errors, "%06.0f" packet errors.
        const std::regex oneDecimal("-?[0-9]+\\.[0-9]");
        for (int i = 0; i < 30; ++i) {
            EXPECT_TRUE(std::regex_match(Data(u, "0001r1snr;;"), oneDecimal));
            EXPECT_TRUE(std::regex_match(Data(u, "0001r1ina;;"), oneDecimal));
            EXPECT_TRUE(std::regex_match(Data(u, "0001r1pre;;"), std::regex("[0-9]{6}\\.[0-9]{3}")));
            EXPECT_TRUE(std::regex_match(Data(u, "0001r1pkt;;"), std::regex("[0-9]{6}")));
        }
    }
}

TEST(SimLocale, FaultNamesMatchWhateverTheCaseRules) {
    // Under single-byte Turkish rules tolower('I') is the dotless i.
    ScopedLocale locale(testsupport::kTurkishByteLocale);
    ASSERT_TRUE(locale.Active());
    sim::Fault fault = sim::Fault::None;
    EXPECT_TRUE(sim::ParseFault("NOISEBEFORESTX", &fault));
    EXPECT_EQ(fault, sim::Fault::NoiseBeforeStx);
    EXPECT_TRUE(sim::ParseFault("splittcpsegment", &fault));
    EXPECT_EQ(fault, sim::Fault::SplitTcpSegment);
}

}  // namespace
