// The codec under a decimal-comma and a Turkish locale: the bytes on the wire,
// the texts shown and the configuration items keep the '.' decimal point.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "params/codec.h"
#include "sim_link.h"
#include "support/scoped_locale.h"

using namespace testing_params;
using testsupport::kCommaLocale;
using testsupport::kTurkishLocale;
using testsupport::ScopedLocale;

namespace {

class CodecLocaleTest : public ::testing::TestWithParam<const char*> {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override {
        PrepareNarrowbandPage(unit, page);
        ASSERT_TRUE(sim.started);
    }
    SimLink sim;
    FakePage page;
};

TEST_P(CodecLocaleTest, TextConversionsKeepThePoint) {
    ScopedLocale locale(GetParam());
    ASSERT_TRUE(locale.Active());
    EXPECT_EQ(GhzTextToMhz("1.75"), "1750.000");
    EXPECT_EQ(GhzTextToMhz("1.750000"), "1750.000");
    EXPECT_EQ(MhzTextToGhz("1234.5"), "1.234500");
    EXPECT_EQ(MhzTextToGhz("1750.000"), "1.750000");
    EXPECT_EQ(DecimalValue("000012"), 12);

    const ParamEntry* ipf = FindParam(NarrowbandDemodTable, "1ipf");
    std::string reply = "1.750000";
    StoreReplyValue(unit, reply, *ipf);
    EXPECT_EQ(reply, "1750.000");
    EXPECT_EQ(ReadParamValue(unit, *ipf).text, "1750.000");
}

TEST_P(CodecLocaleTest, ReadAndApplySendTheUnitsForm) {
    ScopedLocale locale(GetParam());
    ASSERT_TRUE(locale.Active());
    sim.unit->SetValue("1los", "1");
    sim.unit->SetValue("1dco", "2.3");
    sim.unit->SetValue("1ipf", "1.75");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(page[1200].text, "1750.000");
    EXPECT_EQ(page[1201].text, "2300.000");
    EXPECT_EQ(unit.downconverterIndex.load(), 5);   // "Barrel, L-Band (QF-05)", not "Unknown"
    EXPECT_EQ(page[kDownconverterControlId].selection, 5);

    page[1200].text = "1234.5";
    page[kDownconverterControlId].selection = 11;   // "8GHz (QF-20)"
    sim.unit->ClearRequests();
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 2);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001w1ipf;1.234500;", "\x02" "0001w1los;0;",
                                      "\x02" "0001w1dco;7.750000;"}));
    // The simulated unit (in this process, under the same locale) took them as sent.
    EXPECT_EQ(sim.unit->Value("1ipf"), "1.234500");
    EXPECT_EQ(sim.unit->Value("1dco"), "7.750000");
}

TEST_P(CodecLocaleTest, ConfigurationItemsHoldThePoint) {
    ScopedLocale locale(GetParam());
    ASSERT_TRUE(locale.Active());
    sim.unit->SetValue("1ipf", "1.75");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    std::string items;
    SerializeTable(unit, NarrowbandDemodTable, items);
    const std::string expected = std::string("1ipf") + '\0' + std::string("\x08\0\0\0", 4) + "1.750000";
    EXPECT_NE(items.find(expected), std::string::npos);
    EXPECT_EQ(items.find(','), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Locales, CodecLocaleTest, ::testing::Values(kCommaLocale, kTurkishLocale));

// The locale really is in force in these tests: the C library's own
// formatting follows it, so the checks above cannot pass by accident.
TEST(CodecLocale, TheCommaLocaleChangesTheCLibrary) {
    ScopedLocale locale(kCommaLocale);
    ASSERT_TRUE(locale.Active());
    EXPECT_EQ(ScopedLocale::PrintfOneAndAHalf(), "1,5");
}

}  // namespace
