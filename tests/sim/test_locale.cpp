// The simulated unit runs inside the desktop program's tests, whose Qt
// application sets the locale from the environment: its numbers and its
// names must not follow it.
#include <gtest/gtest.h>

#include <string>

#include "sim_test_util.h"
#include "support/scoped_locale.h"

using simtest::Frame;
using testsupport::ScopedLocale;

namespace {

// Whether `text` is an optional '-' (when `sign`), digits (exactly
// `intDigits` of them, or at least one when 0) and, when `fracDigits` is not
// -1, a '.' followed by exactly `fracDigits` digits.
bool NumberShape(const std::string& text, bool sign, int intDigits, int fracDigits) {
    size_t at = 0;
    if (sign && at < text.size() && text[at] == '-') ++at;
    const auto digits = [&] {
        const size_t from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
        return int(at - from);
    };
    const int whole = digits();
    if (intDigits == 0 ? whole == 0 : whole != intDigits) return false;
    if (fracDigits >= 0) {
        if (at >= text.size() || text[at] != '.') return false;
        ++at;
        if (digits() != fracDigits) return false;
    }
    return at == text.size();
}

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
        for (int i = 0; i < 30; ++i) {
            EXPECT_TRUE(NumberShape(Data(u, "0001r1snr;;"), true, 0, 1));
            EXPECT_TRUE(NumberShape(Data(u, "0001r1ina;;"), true, 0, 1));
            EXPECT_TRUE(NumberShape(Data(u, "0001r1pre;;"), false, 6, 3));
            EXPECT_TRUE(NumberShape(Data(u, "0001r1pkt;;"), false, 6, -1));
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
