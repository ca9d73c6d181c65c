// What the pages must never send: frequencies that are not numbers, texts that
// would break the frame; and replies whose data field is empty, which carry no
// value. Checked on the wire through the simulated unit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "params/codec.h"
#include "params/poll_thread.h"
#include "sim_link.h"

using namespace testing_params;

namespace {

class CodecInputTest : public ::testing::Test {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override {
        PrepareNarrowbandPage(unit, page);
        ASSERT_TRUE(sim.started);
        sim.unit->SetValue("1ipf", "1.75");
        sim.unit->SetValue("1dco", "2.3");
        sim.unit->SetValue("1los", "1");
        sim.unit->SetValue("edef", "News");
        sim.unit->SetValue("1wid", "4");
        ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
        ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, nullptr);
        ASSERT_EQ(page[1200].text, "1750.000");
        ASSERT_EQ(page[1216].text, "News");
        sim.unit->ClearRequests();
    }

    std::string Refused() { return RefusedPageInput(unit, page, {NarrowbandDemodTable, DecoderTable}); }

    SimLink sim;
    FakePage page;
};

TEST_F(CodecInputTest, AFrequencyThatIsNotANumberIsRefusedAndNeverSent) {
    page[1101].selection = 0;   // 1wid changed as well: 2.5MHz, option number 3
    for (const std::string bad : {"", "   ", "abc", "1,75", "1750,5", "1.2.3", "-5", "1e3", "0x10", "inf",
                                  "nan", "12abc", "+", "."}) {
        SCOPED_TRACE("frequency text \"" + bad + "\"");
        page[1200].text = bad;
        EXPECT_EQ(Refused(), "Invalid frequency value");
        sim.unit->ClearRequests();
        // The writer skips it whoever calls it; the other changed row still goes.
        EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 1);
        EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001w1wid;3;"}));
        EXPECT_EQ(sim.unit->Value("1ipf"), "1.75");   // as it was
    }
    // The LO frequency row is a frequency too.
    page[1200].text = "1750.000";
    page[1101].selection = 1;
    page[1201].text = "2,3";
    EXPECT_EQ(Refused(), "Invalid frequency value");
}

TEST_F(CodecInputTest, PlainDecimalFrequenciesAreWritten) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1234.5", "1.234500"}, {" 1750 ", "1.750000"}, {"650", "0.650000"}, {"0", "0.000000"},
        {".5", "0.000500"},     {"2405.", "2.405000"},
    };
    for (const auto& [typed, wire] : cases) {
        SCOPED_TRACE(typed);
        page[1200].text = typed;
        EXPECT_EQ(Refused(), "");
        sim.unit->ClearRequests();
        EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 1);
        EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001w1ipf;" + wire + ";"}));
        ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    }
}

TEST_F(CodecInputTest, TextsWithFrameBytesAreRefusedAndNeverSent) {
    const std::vector<std::string> bad = {"News;Sport", std::string("\x02") + "Cam", "Cam\x03",
                                          std::string("Ca\0m", 4), ";"};
    for (const std::string& text : bad) {
        page[1216].text = text;   // edef, demodulator table
        EXPECT_EQ(Refused(), "Invalid characters in text field");
        sim.unit->ClearRequests();
        EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
        EXPECT_TRUE(sim.Requests().empty());
        EXPECT_EQ(sim.unit->Value("edef"), "News");
    }
    page[1216].text = "News";
    page[1228].text = "3;0";   // gost, decoder table
    EXPECT_EQ(Refused(), "Invalid characters in text field");
    sim.unit->ClearRequests();
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, DecoderTable, 1), 0);
    EXPECT_TRUE(sim.Requests().empty());

    // A clean text with punctuation and spaces is sent as typed.
    page[1228].text = "30";
    page[1216].text = "Harbour cam, east/2";
    EXPECT_EQ(Refused(), "");
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 1);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001wedef;Harbour cam, east/2;"}));
}

TEST_F(CodecInputTest, AnEmptyReplyIsNoValueLikeARefusal) {
    // Rows already read keep their values and controls.
    sim.unit->SetValue("1ipf", "");
    sim.unit->SetValue("1wid", "");
    sim.unit->SetValue("1los", "");
    sim.unit->SetValue("1dco", "");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(StoredText(unit, NarrowbandDemodTable, "1ipf"), "1750.000");
    EXPECT_EQ(page[1200].text, "1750.000");
    EXPECT_EQ(StoredNumber(unit, NarrowbandDemodTable, "1wid"), 1);
    EXPECT_EQ(page[1101].selection, 1);
    EXPECT_EQ(unit.downconverterIndex.load(), 5);

    // Rows never read stay without a value: a saved file holds no item for them.
    ResetCodecState(unit);
    unit.demodMode = 0;
    FakePage fresh;
    fresh.AddControls(NarrowbandDemodTable);
    SetupPageControls(fresh, NarrowbandDemodTable);
    ReadTableToPage(unit, *sim.link, fresh, NarrowbandDemodTable, 1, nullptr);
    EXPECT_FALSE(HasStored(unit, NarrowbandDemodTable, "1ipf"));
    EXPECT_FALSE(HasStored(unit, NarrowbandDemodTable, "1wid"));
    EXPECT_EQ(fresh[1200].text, "");
    EXPECT_EQ(fresh[1101].selection, -1);
    std::string items;
    SerializeTable(unit, NarrowbandDemodTable, items);
    EXPECT_EQ(items.find("1ipf"), std::string::npos);
    EXPECT_EQ(items.find("1wid"), std::string::npos);
    EXPECT_NE(items.find("1gua"), std::string::npos);   // answered rows are still saved

    // StoreReplyValue itself stores nothing for an empty field.
    std::string empty;
    StoreReplyValue(unit, empty, *FindParam(NarrowbandDemodTable, "1ipf"));
    EXPECT_FALSE(HasStored(unit, NarrowbandDemodTable, "1ipf"));
}

TEST_F(CodecInputTest, AnEmptyReplyHidesAnAbsentInputLikeARefusal) {
    page.controls[1011];
    const ParamEntry* inc = FindParam(NarrowbandDemodTable, "1inc");
    ASSERT_TRUE(inc->Has(ParamFlags::HideIfAbsent));
    sim.unit->SetValue("1inc", "");
    page.posted.clear();
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_FALSE(page[inc->controlId].shown);
    for (const Posted& p : page.posted) EXPECT_NE(p.row, inc);
}

TEST_F(CodecInputTest, ThePollThreadTakesAnEmptyLockReplyAsNoReading) {
    RecordingTarget window;
    PollThreadParams params;
    PollCycleState state;
    uint8_t enabled = 1;
    uint8_t items[4] = {1, 0, 0, 0};   // the demodulator lock only
    params.window = &window;
    params.link = sim.link.get();
    params.unit = &unit;
    params.unitAddress = 1;
    params.pollingEnabled = &enabled;
    params.pollItemFlags = items;
    sim.unit->SetValue("1loc", "1");
    sim.unit->SetValue("1pkt", "0");
    RunPollCycle(params, state);
    ASSERT_TRUE(HasStored(unit, NarrowbandDemodTable, "1loc"));
    const int64_t locked = StoredNumber(unit, NarrowbandDemodTable, "1loc");

    sim.unit->SetValue("1loc", "");
    window.Clear();
    RunPollCycle(params, state);
    // No red lamp from an empty field: the lock value stays what was last read.
    EXPECT_EQ(StoredNumber(unit, NarrowbandDemodTable, "1loc"), locked);
    for (const Posted& p : window.Messages()) {
        if (p.ev != Ev::Lamp) continue;
        EXPECT_NE(p.lamp, Lamp::DemodLock);
        EXPECT_EQ(p.state, LampState::Green);
    }
}

}  // namespace
