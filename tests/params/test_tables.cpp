// The static tables: rows, lookups, option numbering, downconverters.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "fakes.h"
#include "params/param_table.h"

using namespace testing_params;

namespace {

int Rows(const ParamEntry* table) {
    int n = 0;
    while (table[n].code != nullptr) ++n;
    return n;
}

class TablesTest : public ::testing::Test {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override { ResetCodecState(unit); }
};

TEST_F(TablesTest, TablesHaveTheirRowsInOrder) {
    EXPECT_EQ(Rows(NarrowbandDemodTable), 21);
    EXPECT_EQ(Rows(DvbtDemodTable), 21);
    EXPECT_EQ(Rows(DecoderTable), 28);
    EXPECT_EQ(Rows(SnrGraphList), 4);
    EXPECT_EQ(Rows(LevelGraphList), 4);

    const char* demod[] = {"1los", "1dco", "1ipf", "1wid", "1gua", "1mod", "1fec", "1pol", "1snr", "1mer", "1cer",
                           "1dnr", "1pre", "1pos", "1pkt", "1ina", "1inb", "1inc", "1ind", "1loc", "edef"};
    for (int i = 0; i < 21; ++i) {
        EXPECT_STREQ(NarrowbandDemodTable[i].code, demod[i]);
        EXPECT_STREQ(DvbtDemodTable[i].code, demod[i]);
    }
    const char* decoder[] = {"tdat", "tbau", "tpar", "ttyp", "twid", "elin", "epwr", "e525", "eser", "efai",
                             "eloc", "edeb", "zdes", "glnb", "gosd", "gosp", "gost", "gsma", "gsmi", "gsre",
                             "gsof", "gfpg", "gser", "dlas", "gbty", "gmod", "gcha", "gch2"};
    for (int i = 0; i < 28; ++i) EXPECT_STREQ(DecoderTable[i].code, decoder[i]) << i;

    EXPECT_EQ(EveryParamTable[0], NarrowbandDemodTable);
    EXPECT_EQ(EveryParamTable[4], LevelGraphList);
    EXPECT_EQ(EveryParamTable[5], nullptr);
}

TEST_F(TablesTest, DemodRowsCarryTheirControlsKindsAndFlags) {
    struct Expect {
        const char* code;
        int narrow, dvbt;
        ParamKind kind;
        uint8_t writable;
        uint32_t flags;
        int caption;
    };
    using K = ParamKind;
    namespace F = ParamFlags;
    const Expect rows[] = {
        {"1los", 1100, 1150, K::OptionList, 1, F::LoSide, 0},
        {"1dco", 1201, 1251, K::Text, 1, F::FreqGhz | F::LoFrequency, 0},
        {"1ipf", 1200, 1250, K::Text, 1, F::FreqGhz, 0},
        {"1mod", 1202, 1252, K::OptionText, 0, 0, 0},
        {"1pol", 1103, 1153, K::OptionList, 1, 0, 0},
        {"1cer", 1206, 1256, K::Text, 0, F::Graphed | F::HideIfAbsent, 1009},
        {"1pkt", 1210, 1260, K::Text, 0, F::TrimZeros | F::Lamp, 0},
        {"1ind", 1214, 1264, K::Text, 0, F::Graphed | F::HideIfAbsent, 1012},
        {"1loc", 1215, 1265, K::OptionText, 0, F::Lamp, 0},
        {"edef", 1216, 1266, K::Text, 1, 0, 0},
    };
    for (const Expect& e : rows) {
        const ParamEntry* n = FindParam(NarrowbandDemodTable, e.code);
        const ParamEntry* d = FindParam(DvbtDemodTable, e.code);
        ASSERT_NE(n, nullptr);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(n->controlId, e.narrow) << e.code;
        EXPECT_EQ(d->controlId, e.dvbt) << e.code;
        EXPECT_EQ(n->kind, e.kind) << e.code;
        EXPECT_EQ(n->writable, e.writable) << e.code;
        EXPECT_EQ(n->flags, e.flags) << e.code;
        EXPECT_EQ(d->flags, e.flags) << e.code;
        EXPECT_EQ(n->secondaryId, e.caption) << e.code;
    }
    const ParamEntry* gmod = FindParam(DecoderTable, "gmod");
    EXPECT_EQ(gmod->kind, ParamKind::RadioPair);
    EXPECT_EQ(gmod->controlId, 1048);
    EXPECT_EQ(gmod->secondaryId, 1049);
    EXPECT_EQ(FindParam(DecoderTable, "dlas")->flags, ParamFlags::TrimZeros | ParamFlags::NotSaved);
    EXPECT_EQ(FindParam(DecoderTable, "gfpg")->flags, ParamFlags::HexVersion);
    EXPECT_EQ(FindParam(DecoderTable, "gbty")->kind, ParamKind::ModelToken);
    // The data mode and width are settable drop-down lists.
    EXPECT_EQ(FindParam(DecoderTable, "ttyp")->kind, ParamKind::OptionList);
    EXPECT_EQ(FindParam(DecoderTable, "twid")->writable, 1);
    // No row carries the doubling flag.
    for (const ParamEntry* const* t = EveryParamTable; *t; ++t)
        for (const ParamEntry* row = *t; row->code; ++row) EXPECT_FALSE(row->Has(ParamFlags::Doubled)) << row->code;
}

TEST_F(TablesTest, FindParamComparesWholeCodes) {
    EXPECT_EQ(FindParam(DecoderTable, "zzzz"), nullptr);
    EXPECT_EQ(FindParam(DecoderTable, "gmo"), nullptr);
    EXPECT_EQ(FindParam(DecoderTable, "gmodx"), nullptr);
    EXPECT_EQ(FindParam(DecoderTable, "1ipf"), nullptr);  // a demod code is not in the decoder table
    EXPECT_EQ(FindParam(NarrowbandDemodTable, "1ipf"), &NarrowbandDemodTable[2]);
    EXPECT_EQ(GetParamIndex(unit, DecoderTable, "zzzz"), kNoParamIndex);
}

// Codes are compared a word at a time: every row is found at its own place by
// its code, and nothing by a code with any one character changed, a prefix or
// a longer text; labels the same.
TEST_F(TablesTest, EveryRowAndLabelIsFoundByItsWholeCodeOnly) {
    for (const ParamEntry* const* t = EveryParamTable; *t; ++t) {
        for (const ParamEntry* row = *t; row->code; ++row) {
            ASSERT_EQ(std::strlen(row->code), 4u) << row->code;
            EXPECT_EQ(FindParam(*t, row->code), row) << row->code;
            const std::string code = row->code;
            for (size_t i = 0; i < 4; ++i) {
                std::string changed = code;
                changed[i] = '#';
                EXPECT_EQ(FindParam(*t, changed.c_str()), nullptr) << changed;
                EXPECT_EQ(ParamLabel(changed.c_str()), nullptr) << changed;
            }
            EXPECT_EQ(FindParam(*t, code.substr(0, 3).c_str()), nullptr) << code;
            EXPECT_EQ(FindParam(*t, (code + "x").c_str()), nullptr) << code;
            EXPECT_EQ(ParamLabel(code.substr(0, 3).c_str()), nullptr) << code;
            EXPECT_EQ(ParamLabel((code + "x").c_str()), nullptr) << code;
        }
    }
    EXPECT_STREQ(ParamLabel("1ipf"), "Input frequency (MHz)");
    EXPECT_STREQ(ParamLabel(std::string("1ipf").c_str()), "Input frequency (MHz)");   // not the same pointer
    EXPECT_EQ(ParamLabel(""), nullptr);
    EXPECT_EQ(ParamLabel(nullptr), nullptr);
}

TEST_F(TablesTest, GetParamIndexOnlyForReadOptionRowsAndLeavesRowsUnlocked) {
    const ParamEntry* wid = FindParam(NarrowbandDemodTable, "1wid");
    EXPECT_EQ(GetParamIndex(unit, NarrowbandDemodTable, "1wid"), kNoParamIndex);  // never read
    EXPECT_EQ(GetParamIndex(unit, NarrowbandDemodTable, "1ipf"), kNoParamIndex);  // a text row
    StoreParamValue(unit, *FindParam(NarrowbandDemodTable, "1ipf"), ParamValue{true, "1750.000", 7});
    EXPECT_EQ(GetParamIndex(unit, NarrowbandDemodTable, "1ipf"), kNoParamIndex);

    StoreParamValue(unit, *wid, ParamValue{true, "", 2});
    EXPECT_EQ(GetParamIndex(unit, NarrowbandDemodTable, "1wid"), 2u);
    StoreParamValue(unit, *FindParam(NarrowbandDemodTable, "1fec"), ParamValue{true, "", 1});
    EXPECT_EQ(GetParamIndex(unit, NarrowbandDemodTable, "1fec"), 1u);

    // Every row's lock is free again, also from another thread.
    for (const char* code : {"1wid", "1ipf", "1fec"}) {
        bool locked = false;
        std::thread other([&] {
            const ValueSlot& slot = unit.Slot(*FindParam(NarrowbandDemodTable, code));
            locked = slot.lock.try_lock();
            if (locked) slot.lock.unlock();
        });
        other.join();
        EXPECT_TRUE(locked) << code;
    }
}

TEST_F(TablesTest, OptionNumbersAndComboIndexesSkipPlaceholders) {
    const ParamEntry* nbWid = FindParam(NarrowbandDemodTable, "1wid");
    EXPECT_EQ(ComboIndexFromOptionNumber(nbWid->options, 3), 0);
    EXPECT_EQ(ComboIndexFromOptionNumber(nbWid->options, 4), 1);
    EXPECT_EQ(ComboIndexFromOptionNumber(nbWid->options, 0), 0);  // placeholder: next real option
    EXPECT_EQ(ComboIndexFromOptionNumber(nbWid->options, 6), -1);
    EXPECT_EQ(ComboIndexFromOptionNumber(nbWid->options, -1), -1);
    EXPECT_EQ(OptionNumberFromComboIndex(nbWid->options, 1), 4);
    EXPECT_EQ(OptionNumberFromComboIndex(nbWid->options, 3), -1);
    EXPECT_STREQ(OptionTextAtComboIndex(nbWid->options, 2), "625kHz");

    const ParamEntry* dvbWid = FindParam(DvbtDemodTable, "1wid");
    EXPECT_EQ(ComboIndexFromOptionNumber(dvbWid->options, 0), 0);
    EXPECT_STREQ(OptionTextAtComboIndex(dvbWid->options, 0), "8MHz");

    const ParamEntry* zdes = FindParam(DecoderTable, "zdes");
    EXPECT_EQ(OptionCount(zdes->options), 12);
    EXPECT_EQ(ComboIndexFromOptionNumber(zdes->options, 2), 2);
    EXPECT_EQ(ComboIndexFromOptionNumber(zdes->options, 4), 2);
    EXPECT_EQ(OptionNumberFromComboIndex(zdes->options, 2), 4);
    EXPECT_EQ(OptionNumberFromComboIndex(zdes->options, 9), 11);
    EXPECT_STREQ(OptionTextAtComboIndex(zdes->options, 9), "Tessel256+");

    const ParamEntry* e525 = FindParam(DecoderTable, "e525");
    EXPECT_EQ(OptionNumberFromComboIndex(e525->options, 0), 1);
    EXPECT_EQ(OptionNumberFromComboIndex(e525->options, 1), 2);
}

TEST_F(TablesTest, DownconverterDetectionComparesExactly) {
    EXPECT_EQ(DetectDownconverter(1800, 1), 4);
    EXPECT_STREQ(DownconverterList[4].text, "Barrel, L-Band (QF-04)");
    EXPECT_EQ(DetectDownconverter(2000, 1), kDownconverterUnknown);
    EXPECT_EQ(DetectDownconverter(7750, 0), 11);
    EXPECT_EQ(DetectDownconverter(0, 0), 0);
    EXPECT_EQ(DetectDownconverter(0, 1), kDownconverterUnknown);
    EXPECT_EQ(DetectDownconverter(1700, 0), 6);
    EXPECT_EQ(DetectDownconverter(1700, 1), 1);
    EXPECT_EQ(DetectDownconverter(1700.001, 1), kDownconverterUnknown);
    EXPECT_EQ(DetectDownconverter(2300, 0), kDownconverterUnknown);
    // Every known entry is detected from its own LO and side.
    for (int i = 0; i < kDownconverterUnknown; ++i)
        EXPECT_EQ(DetectDownconverter(DownconverterList[i].loGhz * 1000.0, DownconverterList[i].loSide), i)
            << DownconverterList[i].text;
    EXPECT_STREQ(DownconverterList[12].text, "Unknown");
    EXPECT_FALSE(DownconverterList[12].known);
}

TEST_F(TablesTest, ModeColumnControlsAndLabels) {
    const int ids[] = {1100, 1201, 1200, 1101, 1102, 1103, 1150, 1251, 1250, 1151, 1152, 1153};
    const int kinds[] = {1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 1};
    for (int i = 0; i < kModeColumnControlCount; ++i) {
        EXPECT_EQ(ModeColumnControls[i].controlId, ids[i]);
        EXPECT_EQ(ModeColumnControls[i].controlKind, kinds[i]);
        EXPECT_EQ(ModeColumnControls[i].column, i < 6 ? 0 : 1);
    }
    EXPECT_STREQ(ParamLabel("1ipf"), "Input frequency (MHz)");
    EXPECT_STREQ(ParamLabel("gch2"), "Chaining output scrambling");
    EXPECT_EQ(ParamLabel("gbty"), nullptr);
    EXPECT_EQ(ParamLabel("xxxx"), nullptr);
}

TEST_F(TablesTest, ResetForgetsEveryValue) {
    StoreParamValue(unit, *FindParam(DecoderTable, "gsof"), ParamValue{true, "1.2", 0});
    StoreParamValue(unit, SnrGraphList[0], ParamValue{true, "9.5", 0});
    ForgetEveryValue(unit);
    EXPECT_FALSE(HasStored(unit, DecoderTable, "gsof"));
    EXPECT_FALSE(ReadParamValue(unit, SnrGraphList[0]).has);
}

}  // namespace
