// The configuration file format on its own: checksum, record bytes, the
// reader's bounds and the description for people.
#include <gtest/gtest.h>

#include <string>

#include "pages/config_file.h"
#include "params/codec.h"
#include "params/param_table.h"

namespace {

using namespace std::string_literals;

std::string U32(uint32_t v) {
    std::string s;
    AppendU32(s, v);
    return s;
}

void StoreText(UnitState& unit, const ParamEntry* table, const char* code, const std::string& text) {
    ParamValue v;
    v.has = true;
    v.text = text;
    StoreParamValue(unit, *FindParam(table, code), v);
}

void StoreNumber(UnitState& unit, const ParamEntry* table, const char* code, int64_t n) {
    ParamValue v;
    v.has = true;
    v.number = n;
    StoreParamValue(unit, *FindParam(table, code), v);
}

// A file of one record holding the given item bytes.
std::string OneRecordFile(const std::string& items, uint32_t count = 1) {
    std::string image;
    BeginConfigFile(image, count);
    image += "DEM" + U32(2) + items + "----";
    FinishConfigFile(image);
    return image;
}

std::string TextItem(const std::string& code, const std::string& text) {
    return code + "\x00"s + U32(static_cast<uint32_t>(text.size())) + text;
}

TEST(ConfigFileCrc, MatchesTheKnownValues) {
    EXPECT_EQ(ConfigFileCrc(""), 0xFFFFFFFFu);
    EXPECT_EQ(ConfigFileCrc("abc"), 0xBC7DDB53u);
    // Running the checksum in two pieces gives the same result.
    EXPECT_EQ(ConfigFileCrc("bc", 2, ConfigFileCrc("a")), 0xBC7DDB53u);

    std::string image = "abc";
    AppendU32(image, ConfigFileCrc("abc"));
    EXPECT_EQ(image.substr(3), "\x53\xDB\x7D\xBC"s);
}

// The checksum rule one bit at a time: each byte's bits enter least
// significant first into a register shifted left, polynomial 0x04C11DB7.
uint32_t CrcBitByBit(const std::string& bytes, uint32_t crc = 0xFFFFFFFF) {
    for (char c : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            const uint32_t in = (static_cast<uint8_t>(c) >> bit) & 1u;
            const uint32_t top = crc >> 31;
            crc <<= 1;
            if (in != top) crc ^= 0x04C11DB7u;
        }
    }
    return crc;
}

TEST(ConfigFileCrc, FollowsTheBitRuleForEveryByteAndStartValue) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        ASSERT_EQ(ConfigFileCrc(one), CrcBitByBit(one)) << "byte " << b;
        for (uint32_t start : {0u, 0x80000000u, 0x12345678u, 0xDEADBEEFu})
            ASSERT_EQ(ConfigFileCrc(one.data(), 1, start), CrcBitByBit(one, start)) << "byte " << b;
    }
    std::string many;
    for (int i = 0; i < 5000; ++i) many.push_back(static_cast<char>((i * 131 + i / 7) & 0xFF));
    EXPECT_EQ(ConfigFileCrc(many), CrcBitByBit(many));
}

TEST(ConfigFileCheck, RefusesShortAndAlteredFiles) {
    EXPECT_FALSE(ConfigFileChecksumOk(""));
    EXPECT_FALSE(ConfigFileChecksumOk("\xFF\xFF\xFF"s));
    // Four bytes hold only a checksum: over nothing it is 0xFFFFFFFF.
    EXPECT_TRUE(ConfigFileChecksumOk("\xFF\xFF\xFF\xFF"s));

    const std::string file = OneRecordFile(TextItem("edef", "News"));
    ASSERT_TRUE(ConfigFileChecksumOk(file));
    for (size_t i = 0; i + 4 < file.size(); ++i) {
        std::string bad = file;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        EXPECT_FALSE(ConfigFileChecksumOk(bad)) << "byte " << i;
    }
    uint32_t count = 0;
    EXPECT_FALSE(ReadRecordCount("\x01\x00\x00"s, count));
    EXPECT_TRUE(ReadRecordCount(file, count));
    EXPECT_EQ(count, 1u);
}

TEST(ConfigRecord, HoldsTheSavedRowsInTableOrderAsTheUnitWantsThem) {
    UnitState unit;
    StoreText(unit, NarrowbandDemodTable, "1ipf", "1750.000");   // MHz on the page, GHz in the file
    StoreNumber(unit, NarrowbandDemodTable, "1wid", 1);          // combo 1 = option number 4
    StoreText(unit, NarrowbandDemodTable, "edef", "News");
    StoreNumber(unit, NarrowbandDemodTable, "1loc", 1);          // not writable: never saved
    StoreNumber(unit, DecoderTable, "zdes", 2);                  // combo 2 = option number 4
    StoreText(unit, DecoderTable, "dlas", "3");                  // not saved
    StoreNumber(unit, DecoderTable, "gmod", 1);
    StoreText(unit, DvbtDemodTable, "edef", "Other mode");       // another table: not in this record

    std::string image;
    BeginConfigFile(image, 1);
    AppendConfigRecord(unit, image, 3, 0);
    FinishConfigFile(image);

    const std::string expected = "\x01\x00\x00\x00"s + "DEM" + "\x03\x00\x00\x00"s + "gudm\x01"s + U32(0) +
                                 TextItem("1ipf", "1.750000") + "1wid\x01"s + U32(4) + TextItem("edef", "News") +
                                 "zdes\x01"s + U32(4) + "gmod\x05"s + U32(1) + "----" + "///";
    ASSERT_EQ(image.substr(0, image.size() - 4), expected);
    EXPECT_EQ(image.substr(image.size() - 4), U32(ConfigFileCrc(expected)));

    // Mode 1 takes the DVBT table.
    std::string dvbt;
    AppendConfigRecord(unit, dvbt, 5, 1);
    EXPECT_EQ(dvbt, "DEM"s + U32(5) + "gudm\x01"s + U32(1) + TextItem("edef", "Other mode") + "zdes\x01"s + U32(4) +
                        "gmod\x05"s + U32(1) + "----");
}

TEST(ConfigCursor, ReadsItemsAndStopsAtEveryBound) {
    const std::string items = TextItem("edef", "News") + "1wid\x01"s + U32(0x104) + "gadr\x02"s + U32(0x0A000001);
    const std::string file = OneRecordFile(items);
    ConfigCursor cursor(file);
    std::string type;
    ASSERT_TRUE(cursor.ReadRecordStart(&type));
    EXPECT_EQ(type, "DEM");
    uint32_t slot = 0;
    ASSERT_TRUE(cursor.ReadU32(slot));
    EXPECT_EQ(slot, 2u);
    ParamItem item;
    ASSERT_EQ(cursor.NextItem(item), ConfigCursor::Item::Param);
    EXPECT_EQ(item.code, "edef");
    EXPECT_EQ(item.text, "News");
    ASSERT_EQ(cursor.NextItem(item), ConfigCursor::Item::Param);
    EXPECT_EQ(item.number, 0x104u);
    ASSERT_EQ(cursor.NextItem(item), ConfigCursor::Item::Param);
    EXPECT_EQ(item.kind, kItemIpAddress);
    EXPECT_EQ(cursor.NextItem(item), ConfigCursor::Item::EndOfRecord);
    // "///" and the checksum: no room for another code.
    EXPECT_EQ(cursor.NextItem(item), ConfigCursor::Item::EndOfFile);
    EXPECT_FALSE(cursor.ReadRecordStart(&type));
    EXPECT_EQ(type, "///");

    // A text length running past the file, even into the checksum, is invalid.
    const std::string longText = OneRecordFile("edef\x00"s + U32(12) + "abcd");
    ConfigCursor c2(longText);
    ASSERT_TRUE(c2.ReadRecordStart());
    ASSERT_TRUE(c2.ReadU32(slot));
    const size_t at = c2.Offset();
    EXPECT_EQ(c2.NextItem(item), ConfigCursor::Item::Invalid);
    EXPECT_EQ(c2.Offset(), at);

    const std::string huge = OneRecordFile("edef\x00"s + U32(0xFFFFFFF0u) + "abcd");
    ConfigCursor c3(huge);
    c3.ReadRecordStart();
    c3.ReadU32(slot);
    EXPECT_EQ(c3.NextItem(item), ConfigCursor::Item::Invalid);

    // Kinds 3 and 4 never stand in a file.
    const std::string oddKind = OneRecordFile("1loc\x03"s + U32(1));
    ConfigCursor c4(oddKind);
    c4.ReadRecordStart();
    c4.ReadU32(slot);
    EXPECT_EQ(c4.NextItem(item), ConfigCursor::Item::Invalid);
}

TEST(ConfigItemRequest, BuildsTheWriteOrRefuses) {
    std::string request;
    ParamItem text{"edef", kItemText, 0, "News"};
    ASSERT_TRUE(BuildItemRequest(12, text, request));
    EXPECT_EQ(request, "\x02" "0012wedef;News;");

    ParamItem option{"1wid", kItemOptionList, 0x1204, ""};
    ASSERT_TRUE(BuildItemRequest(1, option, request));
    EXPECT_EQ(request, "\x02" "0001w1wid;4;");   // the low byte only

    ParamItem ip{"gadr", kItemIpAddress, 0xC0A80A01, ""};
    ASSERT_TRUE(BuildItemRequest(1, ip, request));
    EXPECT_EQ(request, "\x02" "0001wgadr;192.168.10.1;");

    ParamItem tooLong{"edef", kItemText, 0, std::string(244, 'x')};
    EXPECT_FALSE(BuildItemRequest(1, tooLong, request));
    // Longer than one frame can carry once the address and code are around it.
    ParamItem frameFull{"edef", kItemText, 0, std::string(240, 'x')};
    EXPECT_FALSE(BuildItemRequest(1, frameFull, request));
    ParamItem fits{"edef", kItemText, 0, std::string(200, 'x')};
    EXPECT_TRUE(BuildItemRequest(1, fits, request));
    // Bytes that would break the frame.
    ParamItem etx{"edef", kItemText, 0, "a\x03" "b"};
    EXPECT_FALSE(BuildItemRequest(1, etx, request));
    ParamItem semi{"edef", kItemText, 0, "a;b"};
    EXPECT_FALSE(BuildItemRequest(1, semi, request));
    ParamItem kind{"1loc", 3, 1, ""};
    EXPECT_FALSE(BuildItemRequest(1, kind, request));
}

TEST(ConfigDescribe, ShowsValuesAsThePagesWould) {
    const std::string items = "gudm\x01"s + U32(0) + TextItem("1ipf", "1.750000") + "1wid\x01"s + U32(4) +
                              "zdes\x01"s + U32(4) + "gmod\x05"s + U32(1) + TextItem("eser", "0012");
    const DescribedFile d = DescribeConfigFile(OneRecordFile(items));
    EXPECT_TRUE(d.checksumOk);
    EXPECT_TRUE(d.endMarkOk);
    EXPECT_EQ(d.recordCount, 1u);
    EXPECT_EQ(d.error, "");
    ASSERT_EQ(d.records.size(), 1u);
    const DescribedRecord& r = d.records[0];
    EXPECT_EQ(r.type, "DEM");
    EXPECT_EQ(r.slot, 2u);
    EXPECT_EQ(r.mode, 0);
    EXPECT_TRUE(r.complete);
    ASSERT_EQ(r.items.size(), 6u);
    EXPECT_EQ(r.items[0].value, "Narrowband");
    EXPECT_EQ(r.items[1].label, "Input frequency (MHz)");
    EXPECT_EQ(r.items[1].value, "1750.000");
    EXPECT_EQ(r.items[1].raw, "1.750000");
    EXPECT_EQ(r.items[2].value, "1.25MHz");
    EXPECT_EQ(r.items[2].raw, "4");
    EXPECT_EQ(r.items[3].value, "AES128");
    EXPECT_EQ(r.items[4].value, "Chaining input");
    EXPECT_EQ(r.items[5].value, "12");

    // A DVBT record reads its options from the DVBT table: 1wid 0 is "8MHz".
    const DescribedFile dv = DescribeConfigFile(OneRecordFile("gudm\x01"s + U32(1) + "1wid\x01"s + U32(0)));
    ASSERT_EQ(dv.records.size(), 1u);
    EXPECT_EQ(dv.records[0].items[1].value, "8MHz");
}

TEST(ConfigDescribe, ReportsDamageWithoutReadingPastTheEnd) {
    std::string file = OneRecordFile("edef\x00"s + U32(1000) + "abc");
    DescribedFile d = DescribeConfigFile(file);
    EXPECT_TRUE(d.checksumOk);
    EXPECT_NE(d.error.find("Invalid item"), std::string::npos) << d.error;

    file[10] = 'X';
    d = DescribeConfigFile(file);
    EXPECT_FALSE(d.checksumOk);

    d = DescribeConfigFile("ab");
    EXPECT_FALSE(d.checksumOk);
    EXPECT_FALSE(d.error.empty());

    // Count 2, one record: the reader meets "///" where the second should be.
    d = DescribeConfigFile(OneRecordFile(TextItem("edef", "x"), 2));
    EXPECT_EQ(d.records.size(), 1u);
    EXPECT_NE(d.error.find("ends after 1"), std::string::npos) << d.error;
}

}  // namespace
