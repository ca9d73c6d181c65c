// The codec against the simulated unit through the real link: what is read,
// shown and posted, and the exact frames that Apply sends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "link/unit_events.h"
#include "params/codec.h"
#include "sim_link.h"

using namespace testing_params;

namespace {

class CodecUnitTest : public ::testing::Test {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override {
        ResetCodecState(unit);
        unit.demodMode = 0;
        page.AddControls(NarrowbandDemodTable);
        page.AddControls(DvbtDemodTable);
        page.AddControls(DecoderTable);
        page.controls[kDownconverterControlId];
        full.AddControls(NarrowbandDemodTable);
        full.AddControls(DvbtDemodTable);
        full.AddControls(DecoderTable);
        SetupPageControls(page, NarrowbandDemodTable);
        SetupPageControls(page, DecoderTable);
        ASSERT_TRUE(sim.started);
    }

    std::vector<Posted> Lamps() const {
        std::vector<Posted> out;
        for (const Posted& p : page.posted)
            if (p.ev == Ev::Lamp) out.push_back(p);
        return out;
    }

    SimLink sim;
    FakePage page;   // the simple page (has the downconverter list)
    FakePage full;   // the full page, shown alongside
};

TEST_F(CodecUnitTest, ReadShowsEveryRowOnBothPagesInTableOrder) {
    sim.unit->SetValue("1los", "1");
    sim.unit->SetValue("1dco", "1.8");
    sim.unit->SetValue("1ipf", "1.75");
    sim.unit->SetValue("1wid", "4");
    sim.unit->SetValue("1pre", "000012.500");
    sim.unit->SetValue("1loc", "1");
    sim.unit->SetValue("1pkt", "3");
    sim.unit->SetValue("1mod", "3");
    sim.unit->ClearRequests();

    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, &full);

    std::vector<std::string> expected;
    for (const ParamEntry* row = NarrowbandDemodTable; row->code; ++row) expected.push_back(Read(1, row->code));
    EXPECT_EQ(sim.Requests(), expected);

    EXPECT_EQ(page[1200].text, "1750.000");
    EXPECT_EQ(full[1200].text, "1750.000");
    EXPECT_EQ(page[1201].text, "1800.000");
    EXPECT_EQ(page[1101].selection, 1);  // 1.25MHz
    EXPECT_EQ(full[1101].selection, 1);
    EXPECT_EQ(page[1202].text, "8PSK");
    EXPECT_EQ(page[1208].text, "12.5");
    EXPECT_EQ(page[1215].text, "Locked");
    EXPECT_EQ(page[1250].text, "");  // the other column is not touched

    // LO side 1 and 1800 MHz: "Barrel, L-Band (QF-04)", chosen on the first page only.
    EXPECT_EQ(unit.loSide.load(), 1);
    EXPECT_DOUBLE_EQ(unit.loFrequencyMhz.load(), 1800.0);
    EXPECT_EQ(unit.downconverterIndex.load(), 4);
    EXPECT_EQ(page[kDownconverterControlId].selection, 4);

    // Locked with packet errors: green demod lamp, red reception lamp.
    const std::vector<Posted> lamps = Lamps();
    ASSERT_EQ(lamps.size(), 2u);
    EXPECT_EQ(lamps[0].lamp, Lamp::DemodLock);
    EXPECT_EQ(lamps[0].state, LampState::Green);
    EXPECT_EQ(lamps[1].lamp, Lamp::Reception);
    EXPECT_EQ(lamps[1].state, LampState::Red);
    EXPECT_TRUE(full.posted.empty());  // messages go to the first page only

    // Each of the eight graphed rows was posted once, as its own row.
    std::vector<std::string> sampled;
    for (const Posted& p : page.posted)
        if (p.ev == Ev::Graph) sampled.push_back(p.row->code);
    EXPECT_EQ(sampled, (std::vector<std::string>{"1snr", "1mer", "1cer", "1dnr", "1ina", "1inb", "1inc", "1ind"}));
}

TEST_F(CodecUnitTest, ReceptionLampIsGreenOnlyWithoutPacketErrors) {
    sim.unit->SetValue("1loc", "1");
    sim.unit->SetValue("1pkt", "0");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    ASSERT_EQ(Lamps().size(), 2u);
    EXPECT_EQ(Lamps()[1].state, LampState::Green);

    page.posted.clear();
    sim.unit->SetValue("eloc", "0");
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, nullptr);
    ASSERT_EQ(Lamps().size(), 1u);
    EXPECT_EQ(Lamps()[0].lamp, Lamp::DecoderLock);
    EXPECT_EQ(Lamps()[0].state, LampState::Red);
}

TEST_F(CodecUnitTest, LoDetectionOnTheOtherSide) {
    sim.unit->SetValue("1los", "1");
    sim.unit->SetValue("1dco", "2.0");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(page[kDownconverterControlId].selection, kDownconverterUnknown);

    sim.unit->SetValue("1los", "0");
    sim.unit->SetValue("1dco", "7.75");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(page[kDownconverterControlId].selection, 11);  // "8GHz (QF-20)"
    EXPECT_EQ(unit.downconverterIndex.load(), 11);
}

TEST_F(CodecUnitTest, ChainingInputLocksTheLiveColumnOnBothPages) {
    unit.demodMode = 1;
    sim.unit->SetValue("gmod", "1");
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, &full);
    for (FakePage* p : {&page, &full}) {
        EXPECT_TRUE((*p)[1049].checked);
        EXPECT_FALSE((*p)[1048].checked);
        for (int combo : {1150, 1151, 1152, 1153}) EXPECT_FALSE((*p)[combo].enabled) << combo;
        for (int edit : {1250, 1251}) EXPECT_TRUE((*p)[edit].readOnly) << edit;
        // The narrowband column is not the live one.
        for (int combo : {1100, 1101, 1102, 1103}) EXPECT_TRUE((*p)[combo].enabled) << combo;
        for (int edit : {1200, 1201}) EXPECT_FALSE((*p)[edit].readOnly) << edit;
    }

    sim.unit->SetValue("gmod", "0");
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, &full);
    for (FakePage* p : {&page, &full}) {
        EXPECT_TRUE((*p)[1048].checked);
        EXPECT_FALSE((*p)[1049].checked);
        for (int combo : {1150, 1151, 1152, 1153}) EXPECT_TRUE((*p)[combo].enabled) << combo;
        for (int edit : {1250, 1251}) EXPECT_FALSE((*p)[edit].readOnly) << edit;
    }
}

TEST_F(CodecUnitTest, ApplyWritesOnlyWhatChanged) {
    sim.unit->SetValue("1ipf", "1.75");
    sim.unit->SetValue("1wid", "4");
    sim.unit->SetValue("1los", "0");
    sim.unit->SetValue("1dco", "0");
    sim.unit->SetValue("zdes", "4");
    sim.unit->SetValue("e525", "1");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, nullptr);
    EXPECT_EQ(page[1109].selection, 2);  // AES128
    sim.unit->ClearRequests();

    // Nothing changed: nothing sent.
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, DecoderTable, 1), 0);
    EXPECT_TRUE(sim.Requests().empty());

    page[1200].text = "1750";      // same frequency, other text: written in GHz
    page[1101].selection = 0;      // 2.5MHz: option number 3
    page[1204].text = "99.9";      // a status value edited on the page is never written
    page[1106].selection = 1;      // NTSC no ped: option number 2
    page[1109].selection = 2;      // unchanged AES128
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 2);
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, DecoderTable, 1), 1);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001w1ipf;1.750000;", "\x02" "0001w1wid;3;",
                                      "\x02" "0001we525;2;"}));
    EXPECT_EQ(sim.unit->Value("1wid"), "3");
    EXPECT_EQ(sim.unit->Value("e525"), "2");

    // The stored values are the unit's until re-read: the same page writes again.
    sim.unit->ClearRequests();
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 2);
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(page[1200].text, "1750.000");
    sim.unit->ClearRequests();
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
    EXPECT_TRUE(sim.Requests().empty());
}

TEST_F(CodecUnitTest, DescramblingWrittenAsItsOptionNumber) {
    sim.unit->SetValue("zdes", "2");  // a placeholder: shown as AES128
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, nullptr);
    EXPECT_EQ(page[1109].selection, 2);
    EXPECT_EQ(page[1109].items[2], "AES128");
    page[1109].selection = 9;
    sim.unit->ClearRequests();
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, DecoderTable, 1), 1);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001wzdes;11;"}));
}

TEST_F(CodecUnitTest, DownconverterChoiceSendsSideAndLo) {
    sim.unit->SetValue("1los", "1");
    sim.unit->SetValue("1dco", "1.8");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    sim.unit->ClearRequests();

    page[kDownconverterControlId].selection = 12;  // "Unknown" is never written
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
    page[kDownconverterControlId].selection = 4;   // what detection chose
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
    EXPECT_TRUE(sim.Requests().empty());

    page[kDownconverterControlId].selection = 11;  // "8GHz (QF-20)"
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 1);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001w1los;0;", "\x02" "0001w1dco;7.750000;"}));
    EXPECT_EQ(unit.downconverterIndex.load(), 4);  // the re-read sets it

    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(unit.downconverterIndex.load(), 11);
    EXPECT_EQ(page[1201].text, "7750.000");
}

TEST_F(CodecUnitTest, UnreadRowsEmptyListsAndOverlongTextsAreNotSent) {
    // Nothing read yet: empty controls and unselected lists hold nothing to write.
    for (auto& [id, control] : page.controls) control.selection = -1;
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, DecoderTable, 1), 0);
    EXPECT_TRUE(sim.Requests().empty());

    // What the operator did enter on rows never read is written.
    page[1108].selection = 1;  // edeb
    page[1228].text = "30";    // gost
    page[1222].text = "9.9";   // gsof is read-only: never written
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, DecoderTable, 1), 2);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001wedeb;1;", "\x02" "0001wgost;30;"}));

    // A text longer than a frame can carry is refused before it is sent.
    sim.unit->ClearRequests();
    page[1216].text = std::string(300, 'x');  // edef
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 0);
    EXPECT_TRUE(sim.Requests().empty());
    page[1216].text = std::string(200, 'x');
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 1);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001wedef;" + std::string(200, 'x') + ";"}));
}

TEST_F(CodecUnitTest, FailedReadsKeepValuesAndHideAbsentInputs) {
    // A row the unit does not know: it answers 'E'.
    ParamEntry table[] = {
        {"1xer", 0, ParamKind::Text, 1206, 1009, nullptr, ParamFlags::Graphed | ParamFlags::HideIfAbsent},
        {"1snr", 0, ParamKind::Text, 1204, 0, nullptr, 0},
        {nullptr, 0, ParamKind::Text, 0, 0, nullptr, 0},
    };
    page.controls[1009];
    full.controls[1009];
    StoreParamValue(unit, table[0], ParamValue{true, "7.5", 0});
    page[1206].text = "7.5";
    ReadTableToPage(unit, *sim.link, page, table, 1, &full);
    for (FakePage* p : {&page, &full}) {
        EXPECT_FALSE((*p)[1206].shown);
        EXPECT_FALSE((*p)[1009].shown);
    }
    EXPECT_EQ(ReadParamValue(unit, table[0]).text, "7.5");
    EXPECT_EQ(page[1206].text, "7.5");
    for (const Posted& p : page.posted) EXPECT_NE(p.row, &table[0]);
    EXPECT_TRUE(page[1204].shown);  // the next row was still read and shown
    EXPECT_FALSE(page[1204].text.empty());

    // An unanswered option read leaves the selection as it was.
    sim.unit->SetValue("1wid", "5");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, nullptr);
    EXPECT_EQ(page[1101].selection, 2);
    sim.unit->SetFault(sim::Fault::BadChecksum, 1);
    const ParamEntry* wid = FindParam(NarrowbandDemodTable, "1wid");
    ParamEntry one[] = {{"1wid", 1, ParamKind::OptionList, 1101, 0, wid->options, 0},
                        {nullptr, 0, ParamKind::Text, 0, 0, nullptr, 0}};
    StoreParamValue(unit, one[0], ParamValue{true, "", 2});
    page[1101].selection = 2;
    sim.unit->SetValue("1wid", "3");
    ReadTableToPage(unit, *sim.link, page, one, 1, nullptr);
    EXPECT_EQ(page[1101].selection, 2);
    EXPECT_EQ(ReadParamValue(unit, one[0]).number, 2);
}

TEST_F(CodecUnitTest, AbsentInputComesBackWhenItAnswersAgain) {
    page.controls[1009];
    const ParamEntry* cer = FindParam(NarrowbandDemodTable, "1cer");
    ParamEntry one[] = {{"1cer", 0, ParamKind::Text, cer->controlId, cer->secondaryId, nullptr, cer->flags},
                        {nullptr, 0, ParamKind::Text, 0, 0, nullptr, 0}};

    // No link at all hides nothing: it says nothing about the unit's inputs.
    RecordingTarget nobody;
    CFerritRemoteControl closed(&nobody);
    ReadTableToPage(unit, closed, page, one, 1, nullptr);
    EXPECT_TRUE(page[1206].shown);
    EXPECT_TRUE(page[1009].shown);

    sim.unit->SetFault(sim::Fault::BadChecksum, 1);
    ReadTableToPage(unit, *sim.link, page, one, 1, nullptr);
    EXPECT_FALSE(page[1206].shown);
    EXPECT_FALSE(page[1009].shown);

    sim.unit->SetValue("1cer", "8.5");
    ReadTableToPage(unit, *sim.link, page, one, 1, nullptr);
    EXPECT_TRUE(page[1206].shown);
    EXPECT_TRUE(page[1009].shown);
    EXPECT_EQ(page[1206].text, "8.5");
}

TEST_F(CodecUnitTest, WorksOverTheSerialLineToo) {
    SimLink serial(SimLink::Transport::Serial, 12);
    ASSERT_TRUE(serial.started);
    serial.unit->SetValue("gfpg", "4660");
    serial.unit->SetValue("gbty", "K840");
    ReadTableToPage(unit, *serial.link, page, DecoderTable, 12, nullptr);
    EXPECT_EQ(page[1223].text, "1234");
    EXPECT_EQ(unit.modelFlag.load(), 1);
    EXPECT_EQ(serial.Requests().front(), Read(12, "tdat"));
}

}  // namespace

namespace {

// A read that keeps the operator's unsent edits: the edited controls keep
// their content on the page where they were edited, the rows take the unit's
// values (so Apply still writes the edits), everything else is shown as read.
TEST_F(CodecUnitTest, ReadKeepingEditsLeavesUnsentControlsAlone) {
    sim.unit->SetValue("1ipf", "1.75");
    sim.unit->SetValue("1wid", "4");
    sim.unit->SetValue("1los", "1");
    sim.unit->SetValue("1dco", "1.8");
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, &full);
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, &full);
    ASSERT_EQ(page[kDownconverterControlId].selection, 4);

    page[1200].text = "1234.5";                    // frequency typed, not applied
    page[1101].selection = 0;                      // bandwidth chosen, not applied
    page[kDownconverterControlId].selection = 11;  // another downconverter, not applied
    full[1216].text = "Typed on the full page";    // service name on the full page only
    // Meanwhile the unit changed its frequency and service name.
    sim.unit->SetValue("edef", "Unit side");
    sim.unit->SetValue("1ipf", "1.8");

    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, &full, true);
    ReadTableToPage(unit, *sim.link, page, DecoderTable, 1, &full, true);
    EXPECT_EQ(page[1200].text, "1234.5");
    EXPECT_EQ(full[1200].text, "1800.000") << "not edited there: shows the unit's value";
    EXPECT_EQ(page[1101].selection, 0);
    EXPECT_EQ(page[kDownconverterControlId].selection, 11);
    EXPECT_EQ(full[1216].text, "Typed on the full page");
    EXPECT_EQ(page[1216].text, "Unit side");

    // Apply from the simple page sends exactly its edits, against the unit's new values.
    sim.unit->ClearRequests();
    EXPECT_EQ(WriteChangedFromPage(unit, *sim.link, page, NarrowbandDemodTable, 1), 3);
    EXPECT_EQ(sim.Requests(), Frames({"\x02" "0001w1ipf;1.234500;", "\x02" "0001w1wid;3;", "\x02" "0001w1los;0;",
                                      "\x02" "0001w1dco;7.750000;"}));

    // Without keeping edits, a read shows the unit's values everywhere.
    full[1216].text = "Typed again";
    ReadTableToPage(unit, *sim.link, page, NarrowbandDemodTable, 1, &full);
    EXPECT_EQ(full[1216].text, "Unit side");
}

}  // namespace
