#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "platform/program_folder.h"

namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tavrin-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = SettingsFilePath(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteRaw(const std::string& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    std::string ReadRaw() {
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(path_, bytes));
        return bytes;
    }
    static std::string Le32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

    std::string dir_, path_;
};

TEST_F(SettingsFile, NamesComeFromTheFixedBaseName) {
    EXPECT_EQ(SettingsFilePath("/opt/rx"), "/opt/rx/tavrin_rx_ctrl_v2.3.5.ini");
    EXPECT_EQ(LogFilePath("/opt/rx"), "/opt/rx/tavrin_rx_ctrl_v2.3.5.log");
}

TEST_F(SettingsFile, MissingFileKeepsEveryDefault) {
    AppSettingsData s;
    EXPECT_FALSE(ReadSettingsFile(path_, s));
    ApplyStartupDefaults(s);
    EXPECT_EQ(*s.AppTitle, "Tavrin receiver control");
    EXPECT_EQ(s.ConnectionType, 0);
    EXPECT_EQ(s.PollingEnabled, 1);
    EXPECT_EQ(s.PollIntervalMs, 2000);
    EXPECT_EQ(s.BaudRate, 9600);
    EXPECT_EQ(s.ReadIntervalTimeout, 500);
    EXPECT_EQ(s.ReadTotalTimeoutMultiplier, 1);
    EXPECT_EQ(s.ReadTotalTimeoutConstant, 2500);
    EXPECT_EQ(s.WriteTotalTimeoutMultiplier, 1);
    EXPECT_EQ(s.WriteTotalTimeoutConstant, 1000);
    EXPECT_EQ(s.LogoWidth, -1);
    EXPECT_EQ(s.LogoHeight, -1);
    EXPECT_EQ(s.LastComPort, -1);
    EXPECT_FALSE(s.IconFile.has_value());
    EXPECT_FALSE(s.LogoFile.has_value());
    for (uint8_t f : s.PollItemFlags) EXPECT_EQ(f, 1);
    EXPECT_EQ(UnitIpAddress, "0.0.0.0");
}

TEST_F(SettingsFile, DefaultsWithoutStringsAre65BytesInRowOrder) {
    AppSettingsData s;
    ASSERT_TRUE(WriteSettingsFile(path_, s));
    const std::string bytes = ReadRaw();
    ASSERT_EQ(bytes.size(), 65u);
    std::string expected = Le32(-1) + std::string(1, '\x01') + Le32(0) + Le32(9600) + Le32(500) + Le32(1) +
                           Le32(2500) + Le32(1) + Le32(1000) + Le32(2000) + std::string("\x01\x01\x01\x01", 4) +
                           Le32(0) + Le32(0) + Le32(-1) + Le32(-1) + Le32(0) + Le32(0);
    EXPECT_EQ(bytes, expected);
}

TEST_F(SettingsFile, RoundTripReproducesEverySetting) {
    AppSettingsData s;
    s.LastComPort = 2;
    s.PollingEnabled = 0;
    s.IconFile = "/home/op/icon.ico";
    s.BaudRate = 115200;
    s.ReadIntervalTimeout = 100;
    s.ReadTotalTimeoutMultiplier = 3;
    s.ReadTotalTimeoutConstant = 700;
    s.WriteTotalTimeoutMultiplier = 4;
    s.WriteTotalTimeoutConstant = 900;
    s.PollIntervalMs = 500;
    s.PollItemFlags[1] = 0;
    s.AppTitle = "Rig 3";
    s.LogoFile = "/home/op/logo.bmp";
    s.LogoWidth = 40;
    s.LogoHeight = 50;
    s.ConnectionType = 1;
    s.LastIpAddress = "10.1.2.3";
    ASSERT_TRUE(WriteSettingsFile(path_, s));

    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_EQ(SettingsBytes(r), SettingsBytes(s));
    EXPECT_EQ(*r.AppTitle, "Rig 3");
    EXPECT_EQ(*r.LastIpAddress, "10.1.2.3");
    EXPECT_EQ(r.PollItemFlags[1], 0);
    ApplyStartupDefaults(r);
    EXPECT_EQ(UnitIpAddress, "10.1.2.3");
}

TEST_F(SettingsFile, FileEndingAfterRowNineKeepsLaterDefaults) {
    AppSettingsData s;
    s.PollIntervalMs = 123;
    s.ConnectionType = 1;
    s.BaudRate = 19200;
    s.WriteTotalTimeoutConstant = 42;
    WriteRaw(SettingsBytes(s).substr(0, 4 + 1 + 4 + 6 * 4));  // rows 1..9
    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_EQ(r.BaudRate, 19200);
    EXPECT_EQ(r.WriteTotalTimeoutConstant, 42);
    EXPECT_EQ(r.PollIntervalMs, 2000);
    EXPECT_EQ(r.ConnectionType, 0);
}

TEST_F(SettingsFile, SixteenRowFileStillReads) {
    AppSettingsData s;
    s.ConnectionType = 1;
    s.AppTitle = "Old";
    const std::string bytes = SettingsBytes(s);
    WriteRaw(bytes.substr(0, bytes.size() - 4));  // without the last-address row
    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_EQ(r.ConnectionType, 1);
    EXPECT_EQ(*r.AppTitle, "Old");
    EXPECT_FALSE(r.LastIpAddress.has_value());
    ApplyStartupDefaults(r);
    EXPECT_EQ(UnitIpAddress, "0.0.0.0");
}

TEST_F(SettingsFile, EmptyTitleRowCountsAsSet) {
    AppSettingsData s;
    s.AppTitle = "";
    WriteRaw(SettingsBytes(s));
    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    ApplyStartupDefaults(r);
    EXPECT_EQ(*r.AppTitle, "");
}

TEST_F(SettingsFile, ConnectionTypeTwoStartsOnSerial) {
    AppSettingsData s;
    s.ConnectionType = 2;
    WriteRaw(SettingsBytes(s));
    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    ApplyStartupDefaults(r);
    EXPECT_EQ(r.ConnectionType, 0);
}

TEST_F(SettingsFile, StringCountPastTheEndIsATruncatedRow) {
    AppSettingsData s;
    std::string bytes = SettingsBytes(s).substr(0, 9);  // rows 1, 2 and the icon count
    // Icon row claims 0x7fffffff bytes: must not allocate or read past the end.
    bytes.replace(5, 4, Le32(0x7fffffff));
    bytes += "short";
    WriteRaw(bytes);
    AppSettingsData r;
    r.BaudRate = 1234;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_FALSE(r.IconFile.has_value());
    EXPECT_EQ(r.BaudRate, 1234);
}

TEST_F(SettingsFile, ReplacingLeavesNoTemporaryFileAndKeepsOldOnFailure) {
    AppSettingsData s;
    ASSERT_TRUE(WriteSettingsFile(path_, s));
    s.AppTitle = "New";
    ASSERT_TRUE(WriteSettingsFile(path_, s));
    int entries = 0;
    for (const auto& e : fs::directory_iterator(dir_)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    // A folder that cannot take the file: the write fails and creates nothing.
    const std::string missing = dir_ + "/no-such-folder/" + "tavrin_rx_ctrl_v2.3.5.ini";
    EXPECT_FALSE(WriteSettingsFile(missing, s));
    EXPECT_FALSE(fs::exists(missing));
    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_EQ(*r.AppTitle, "New");
}

}  // namespace
