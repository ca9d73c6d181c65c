// Decoding replies into rows, the text conversions, page set-up and the bytes
// of configuration items.
#include <gtest/gtest.h>

#include <string>

#include "fakes.h"
#include "params/codec.h"

using namespace testing_params;

namespace {

class CodecValuesTest : public ::testing::Test {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override { ResetCodecState(unit); }

    // Stores `reply` in the row and returns what the reply text became.
    std::string Store(const ParamEntry* table, const char* code, const std::string& reply) {
        std::string text = reply;
        StoreReplyValue(unit, text, *FindParam(table, code));
        return text;
    }
};

TEST_F(CodecValuesTest, TrimmingExamples) {
    EXPECT_EQ(TrimZerosText("000123"), "123");
    EXPECT_EQ(TrimZerosText("0.5000"), "0.5");
    EXPECT_EQ(TrimZerosText("007.000"), "7.0");
    EXPECT_EQ(TrimZerosText("0"), "0");
    EXPECT_EQ(TrimZerosText("100"), "100");
    EXPECT_EQ(TrimZerosText("000"), "0");
    EXPECT_EQ(TrimZerosText("000012.500"), "12.5");
    EXPECT_EQ(TrimZerosText("1."), "1.");
    EXPECT_EQ(TrimZerosText(""), "");
}

TEST_F(CodecValuesTest, TextRowsAreFormattedAndTheReplyRewritten) {
    EXPECT_EQ(Store(NarrowbandDemodTable, "1ipf", "1.75"), "1750.000");
    EXPECT_EQ(StoredText(unit, NarrowbandDemodTable, "1ipf"), "1750.000");
    EXPECT_FALSE(HasStored(unit, DvbtDemodTable, "1ipf"));  // the other mode's copy is untouched

    EXPECT_EQ(Store(DecoderTable, "gfpg", "4660"), "1234");
    EXPECT_EQ(StoredText(unit, DecoderTable, "gfpg"), "1234");
    EXPECT_EQ(Store(NarrowbandDemodTable, "1pre", "000012.500"), "12.5");
    EXPECT_EQ(Store(DecoderTable, "gsof", "0012.10"), "0012.10");  // no flags: as received
    EXPECT_EQ(Store(DecoderTable, "dlas", "003"), "3");

    // A later reply replaces the earlier text.
    Store(NarrowbandDemodTable, "1ipf", "2.4");
    EXPECT_EQ(StoredText(unit, NarrowbandDemodTable, "1ipf"), "2400.000");
}

TEST_F(CodecValuesTest, ConversionsBetweenGhzAndMhz) {
    EXPECT_EQ(GhzTextToMhz("1.75"), "1750.000");
    EXPECT_EQ(MhzTextToGhz("1750"), "1.750000");
    EXPECT_EQ(MhzTextToGhz("1750.000"), "1.750000");
    EXPECT_EQ(MhzTextToGhz("7750"), "7.750000");
    EXPECT_EQ(HexVersionText("255"), "FF");
    EXPECT_EQ(HexVersionText("0"), "0");
}

TEST_F(CodecValuesTest, OptionRepliesBecomeComboIndexes) {
    Store(NarrowbandDemodTable, "1wid", "4");
    EXPECT_EQ(StoredNumber(unit, NarrowbandDemodTable, "1wid"), 1);
    Store(DvbtDemodTable, "1wid", "0");
    EXPECT_EQ(StoredNumber(unit, DvbtDemodTable, "1wid"), 0);

    Store(DecoderTable, "zdes", "2");  // a placeholder selects the next real option
    EXPECT_EQ(StoredNumber(unit, DecoderTable, "zdes"), 2);
    Store(DecoderTable, "e525", "1");
    EXPECT_EQ(StoredNumber(unit, DecoderTable, "e525"), 0);

    // Numbers outside the list leave the stored value as it was.
    Store(DecoderTable, "zdes", "12");
    Store(DecoderTable, "zdes", "-1");
    Store(DecoderTable, "zdes", "junk99");  // reads as 0: "Off"
    EXPECT_EQ(StoredNumber(unit, DecoderTable, "zdes"), 0);
    Store(DecoderTable, "zdes", "11");
    Store(DecoderTable, "zdes", "12");
    EXPECT_EQ(StoredNumber(unit, DecoderTable, "zdes"), 9);

    // Never read and out of range: still no value.
    Store(DecoderTable, "gosp", "6");
    EXPECT_FALSE(HasStored(unit, DecoderTable, "gosp"));
    EXPECT_EQ(GetParamIndex(unit, DecoderTable, "gosp"), kNoParamIndex);

    Store(DvbtDemodTable, "1fec", "4");
    EXPECT_EQ(GetParamIndex(unit, DvbtDemodTable, "1fec"), 4u);
}

TEST_F(CodecValuesTest, IpModelTokenAndRadioPair) {
    EXPECT_EQ(ParseIpText("192.168.1.20"), 0xC0A80114u);
    EXPECT_EQ(ParseIpText("10.0.0"), 0u);
    EXPECT_EQ(ParseIpText(""), 0u);
    EXPECT_EQ(FormatIp(0xC0A80114u), "192.168.1.20");

    Store(DecoderTable, "gbty", "K840");
    EXPECT_EQ(unit.modelFlag.load(), 1);
    // Kept as text, to tell one unit from another.
    EXPECT_EQ(ReadParamValue(unit, *FindParam(DecoderTable, "gbty")).text, "K840");
    Store(DecoderTable, "gbty", "K8400");
    EXPECT_EQ(unit.modelFlag.load(), 0);
    Store(DecoderTable, "gbty", "K840");
    Store(DecoderTable, "gbty", "k840");
    EXPECT_EQ(unit.modelFlag.load(), 0);

    Store(DecoderTable, "gmod", "1");
    EXPECT_EQ(StoredNumber(unit, DecoderTable, "gmod"), 1);
}

TEST_F(CodecValuesTest, SetupEnablesWritableControlsAndFillsCombos) {
    FakePage page;
    page.AddControls(NarrowbandDemodTable);
    page.AddControls(DecoderTable);
    SetupPageControls(page, NarrowbandDemodTable);
    SetupPageControls(page, DecoderTable);

    EXPECT_EQ(page[1101].items, (std::vector<std::string>{"2.5MHz", "1.25MHz", "625kHz"}));
    EXPECT_EQ(page[1109].items.size(), 10u);
    EXPECT_EQ(page[1109].items[2], "AES128");
    EXPECT_EQ(page[1106].items, (std::vector<std::string>{"NTSC", "NTSC no ped"}));
    EXPECT_EQ(page[1226].items, (std::vector<std::string>{"None", "Mode 1", "Mode 2"}));
    EXPECT_TRUE(page[1202].readOnly);  // OptionText
    EXPECT_TRUE(page[1204].readOnly);  // read-only Text
    EXPECT_FALSE(page[1200].readOnly);
    EXPECT_TRUE(page[1200].enabled);
    EXPECT_TRUE(page[1217].items.empty());  // OptionText rows get no combo items
}

TEST_F(CodecValuesTest, ShowStoredValueByKind) {
    FakePage page;
    page.AddControls(DvbtDemodTable);
    page.AddControls(DecoderTable);
    FakePage second({1252, 1048, 1049});

    ShowStoredValue(unit, *FindParam(DvbtDemodTable, "1ipf"), page, &second);
    EXPECT_EQ(page[1250].text, "");  // no value yet: nothing shown

    std::string reply = "2";
    StoreReplyValue(unit, reply, *FindParam(DvbtDemodTable, "1mod"));
    ShowStoredValue(unit, *FindParam(DvbtDemodTable, "1mod"), page, &second);
    EXPECT_EQ(page[1252].text, "64QAM");
    EXPECT_EQ(second[1252].text, "64QAM");

    reply = "6";
    StoreReplyValue(unit, reply, *FindParam(DecoderTable, "zdes"));
    ShowStoredValue(unit, *FindParam(DecoderTable, "zdes"), page, nullptr);
    EXPECT_EQ(page[1109].selection, 4);

    reply = "1";
    StoreReplyValue(unit, reply, *FindParam(DecoderTable, "gmod"));
    ShowStoredValue(unit, *FindParam(DecoderTable, "gmod"), page, &second);
    EXPECT_TRUE(page[1049].checked);
    EXPECT_FALSE(page[1048].checked);
    EXPECT_TRUE(second[1049].checked);
}

// Little-endian 32-bit helper for expected bytes.
std::string Le(uint32_t v) {
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}

TEST_F(CodecValuesTest, SerializeTableWritesItemsOfSavedRowsOnly) {
    auto store = [&](const ParamEntry* table, const char* code, const char* reply) { Store(table, code, reply); };
    store(NarrowbandDemodTable, "1los", "1");
    store(NarrowbandDemodTable, "1ipf", "1.75");
    store(NarrowbandDemodTable, "1wid", "3");
    store(NarrowbandDemodTable, "1mod", "1");      // OptionText: never saved
    store(NarrowbandDemodTable, "1snr", "12.5");   // not writable
    store(NarrowbandDemodTable, "edef", "News");

    std::string out = "HEAD";
    SerializeTable(unit, NarrowbandDemodTable, out);
    const std::string expected = std::string("HEAD") +
                                 "1los" + '\x01' + Le(1) +
                                 "1ipf" + '\x00' + Le(8) + "1.750000" +
                                 "1wid" + '\x01' + Le(3) +
                                 "edef" + '\x00' + Le(4) + "News";
    EXPECT_EQ(out, expected);

    store(DecoderTable, "zdes", "2");   // placeholder -> AES128 -> saved as 4
    store(DecoderTable, "e525", "2");
    store(DecoderTable, "dlas", "3");   // NotSaved
    store(DecoderTable, "gbty", "K840");
    store(DecoderTable, "gmod", "1");
    store(DecoderTable, "eloc", "1");
    std::string decoder;
    SerializeTable(unit, DecoderTable, decoder);
    EXPECT_EQ(decoder, std::string("e525") + '\x01' + Le(2) +
                           "zdes" + '\x01' + Le(4) +
                           "gmod" + '\x05' + Le(1));
}

TEST_F(CodecValuesTest, RequestFramesAreBuiltFromTheTemplates) {
    EXPECT_EQ(BuildReadRequest(1, "1loc"), "\x02" "0001r1loc;;");
    EXPECT_EQ(BuildReadRequest(9999, "gadd"), "\x02" "9999rgadd;;");
    EXPECT_EQ(BuildWriteRequest(42, "1ipf", "1.750000"), "\x02" "0042w1ipf;1.750000;");
    EXPECT_EQ(BuildWriteRequest(42, "edef", ""), "\x02" "0042wedef;;");
}

}  // namespace
