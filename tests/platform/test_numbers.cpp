// Number text and case that never follow the C library's locale.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>

#include "platform/numbers.h"
#include "support/scoped_locale.h"

using testsupport::ScopedLocale;

namespace {

class NumbersUnderLocale : public ::testing::TestWithParam<const char*> {};

TEST_P(NumbersUnderLocale, FormatAndParseWithThePoint) {
    ScopedLocale locale(GetParam());
    ASSERT_TRUE(locale.Active());
    EXPECT_EQ(FormatFixed(1.75, 6), "1.750000");
    EXPECT_EQ(FormatFixed(1750.0, 3), "1750.000");
    EXPECT_EQ(FormatFixed(-61.04, 1), "-61.0");
    EXPECT_EQ(FormatFixed(2.5, 0), "2");   // as printf rounds: to even
    EXPECT_EQ(FormatFixed(1.2345, 6), "1.234500");
    EXPECT_EQ(FormatFixed(0.0, 6), "0.000000");

    EXPECT_EQ(ParseDecimal("1234.5"), 1234.5);
    EXPECT_EQ(ParseDecimal("-0.5"), -0.5);
    EXPECT_EQ(ParseDecimal(".5"), 0.5);
    EXPECT_EQ(ParseDecimal("7."), 7.0);
    EXPECT_EQ(LeadingDouble("1.75"), 1.75);
    EXPECT_EQ(LeadingDouble("  -45.6 dBm"), -45.6);
    EXPECT_EQ(LeadingDouble("+3"), 3.0);
    EXPECT_EQ(LeadingInteger("000123"), 123);
    EXPECT_EQ(LeadingInteger(" -7;"), -7);
    // GHz text to hertz with the point moved: 16.478965 * 1e9 would be 2e-6 off.
    EXPECT_EQ(LeadingDoubleScaled("16.478965", 9), 16478965000.0);
    EXPECT_EQ(LeadingDoubleScaled(" -0.65;", 9), -650000000.0);
    EXPECT_EQ(LeadingDoubleScaled("000012.500", 0), 12.5);
}

INSTANTIATE_TEST_SUITE_P(Locales, NumbersUnderLocale,
                         ::testing::Values("C", testsupport::kCommaLocale, testsupport::kTurkishLocale));

TEST(Numbers, StrictDecimalRefusesEverythingElse) {
    for (const char* bad : {"", " ", "-", ".", "-.", "1,75", "1.2.3", "1e3", "+1", " 1", "1 ", "0x10", "inf",
                            "nan", "12abc", "--1"})
        EXPECT_FALSE(ParseDecimal(bad).has_value()) << '"' << bad << '"';
}

TEST(Numbers, LeadingNumbersAreZeroWhenThereAreNone) {
    EXPECT_EQ(LeadingDouble(""), 0.0);
    EXPECT_EQ(LeadingDouble("abc"), 0.0);
    EXPECT_EQ(LeadingDouble("inf"), 0.0);
    EXPECT_EQ(LeadingDouble("nan"), 0.0);
    EXPECT_EQ(LeadingDouble("--5"), 0.0);
    EXPECT_EQ(LeadingDouble("1e999"), 0.0);
    EXPECT_EQ(LeadingDouble("1,75"), 1.0);   // as the unit's reply would be read in the "C" locale
    for (const char* none : {"", "abc", ".", "-", "inf", "e9"}) EXPECT_EQ(LeadingDoubleScaled(none, 9), 0.0) << none;
    EXPECT_EQ(LeadingInteger(""), 0);
    EXPECT_EQ(LeadingInteger("x1"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(LeadingInteger("-99999999999999999999"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(LeadingInteger("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ParseInteger("42"), 42);
    EXPECT_EQ(ParseInteger("-42"), -42);
    EXPECT_FALSE(ParseInteger("4 2").has_value());
    EXPECT_FALSE(ParseInteger("").has_value());
    EXPECT_FALSE(ParseInteger("99999999999999999999").has_value());
}

TEST(Numbers, AsciiCaseIgnoresTurkishRules) {
    ScopedLocale locale(testsupport::kTurkishByteLocale);
    ASSERT_TRUE(locale.Active());
    // The C library lowers 'I' to the dotless i here; codes must not.
    EXPECT_NE(std::tolower('I'), 'i');
    EXPECT_EQ(AsciiLower("NOISEBEFORESTX"), "noisebeforestx");
    EXPECT_EQ(AsciiLower("Aes128"), "aes128");
    EXPECT_EQ(AsciiLower(std::string("\xDD\xFD", 2)), std::string("\xDD\xFD", 2));   // other bytes untouched
    EXPECT_TRUE(IsAsciiHexDigit('F'));
    EXPECT_FALSE(IsAsciiHexDigit('g'));
    EXPECT_FALSE(IsAsciiDigit('\xB2'));
}

}  // namespace
