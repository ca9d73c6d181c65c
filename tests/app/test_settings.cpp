#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

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
    EXPECT_EQ(StartupIpAddress(s), "0.0.0.0");
}

TEST_F(SettingsFile, DefaultsWithoutStringsAre66BytesInRowOrder) {
    AppSettingsData s;
    ASSERT_TRUE(WriteSettingsFile(path_, s));
    const std::string bytes = ReadRaw();
    ASSERT_EQ(bytes.size(), 66u);
    std::string expected = Le32(-1) + std::string(1, '\x01') + Le32(0) + Le32(9600) + Le32(500) + Le32(1) +
                           Le32(2500) + Le32(1) + Le32(1000) + Le32(2000) + std::string("\x01\x01\x01\x01", 4) +
                           Le32(0) + Le32(0) + Le32(-1) + Le32(-1) + Le32(0) + Le32(0) + std::string(1, '\x01');
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
    s.AlarmSound = 0;
    ASSERT_TRUE(WriteSettingsFile(path_, s));

    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_EQ(SettingsBytes(r), SettingsBytes(s));
    EXPECT_EQ(*r.AppTitle, "Rig 3");
    EXPECT_EQ(*r.LastIpAddress, "10.1.2.3");
    EXPECT_EQ(r.PollItemFlags[1], 0);
    ApplyStartupDefaults(r);
    EXPECT_EQ(StartupIpAddress(r), "10.1.2.3");
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
    WriteRaw(bytes.substr(0, bytes.size() - 5));  // without the last-address and alarm-sound rows
    AppSettingsData r;
    ASSERT_TRUE(ReadSettingsFile(path_, r));
    EXPECT_EQ(r.ConnectionType, 1);
    EXPECT_EQ(*r.AppTitle, "Old");
    EXPECT_FALSE(r.LastIpAddress.has_value());
    EXPECT_EQ(r.AlarmSound, 1);
    ApplyStartupDefaults(r);
    EXPECT_EQ(StartupIpAddress(r), "0.0.0.0");
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

// A settings file as written by hand: every row's bytes in order, each fixed
// row given as its raw value.
struct RawRows {
    int32_t lastComPort = -1;
    uint8_t pollingEnabled = 1;
    int32_t baud = 9600;
    int32_t timeouts[5] = {500, 1, 2500, 1, 1000};
    int32_t interval = 2000;
    uint8_t flags[4] = {1, 1, 1, 1};
    int32_t logoWidth = -1, logoHeight = -1, connectionType = 0;
    uint8_t alarmSound = 1;

    std::string Bytes() const {
        auto le = [](int32_t v) {
            const uint32_t u = uint32_t(v);
            std::string b;
            for (int i = 0; i < 4; ++i) b.push_back(char((u >> (8 * i)) & 0xFF));
            return b;
        };
        const std::string noText = le(0);
        std::string out = le(lastComPort) + std::string(1, char(pollingEnabled)) + noText + le(baud);
        for (int32_t t : timeouts) out += le(t);
        out += le(interval) + std::string(reinterpret_cast<const char*>(flags), 4) + noText + noText;
        return out + le(logoWidth) + le(logoHeight) + le(connectionType) + noText + std::string(1, char(alarmSound));
    }
};

TEST_F(SettingsFile, ValuesTheDialogsRefuseTakeTheirDefaults) {
    struct Case {
        const char* what;
        RawRows rows;
    };
    std::vector<Case> cases;
    for (int32_t interval : {0, -5, INT32_MIN, 10000000, 1, 99}) {
        RawRows r;
        r.interval = interval;
        cases.push_back({"interval", r});
    }
    for (int32_t timeout : {-1, -2500, INT32_MIN, 10000000, INT32_MAX}) {
        RawRows r;
        for (int32_t& t : r.timeouts) t = timeout;
        cases.push_back({"time-outs", r});
    }
    for (int32_t baud : {0, -9600, 9601, 1000000, 19201}) {
        RawRows r;
        r.baud = baud;
        cases.push_back({"baud", r});
    }
    {
        RawRows r;
        r.logoWidth = -2;
        r.logoHeight = INT32_MIN;
        r.connectionType = 2;
        r.lastComPort = 256;
        r.pollingEnabled = 7;
        r.flags[2] = 0x80;
        cases.push_back({"logo, connection type, port and flags", r});
    }
    {
        RawRows r;
        r.connectionType = -1;
        r.lastComPort = -2;
        r.alarmSound = 2;
        cases.push_back({"negative connection type and port, alarm sound 2", r});
    }
    const std::string defaults = SettingsBytes(AppSettingsData{});
    for (const Case& c : cases) {
        WriteRaw(c.rows.Bytes());
        AppSettingsData read;
        ASSERT_TRUE(ReadSettingsFile(path_, read)) << c.what;
        EXPECT_EQ(SettingsBytes(read), defaults) << c.what;
        EXPECT_EQ(read.PollIntervalMs, 2000) << c.what;
        EXPECT_EQ(read.ReadIntervalTimeout, 500) << c.what;
        EXPECT_EQ(read.ReadTotalTimeoutConstant, 2500) << c.what;
        EXPECT_EQ(read.WriteTotalTimeoutConstant, 1000) << c.what;
        EXPECT_EQ(read.BaudRate, 9600) << c.what;
        EXPECT_EQ(read.LogoWidth, -1) << c.what;
        EXPECT_EQ(read.ConnectionType, 0) << c.what;
    }
}

TEST_F(SettingsFile, ValuesAtTheEdgesOfWhatTheDialogsAcceptAreKept) {
    RawRows r;
    r.interval = 100;   // the fastest poll interval the program allows
    r.timeouts[0] = 0;
    r.timeouts[1] = 0;
    r.timeouts[2] = 9999999;
    r.timeouts[3] = 0;
    r.timeouts[4] = 9999999;
    r.baud = 110;
    r.logoWidth = 0;
    r.logoHeight = 5000;   // the window cuts it to its logo area
    r.connectionType = 1;
    r.lastComPort = 255;
    r.pollingEnabled = 0;
    r.flags[3] = 0;
    r.alarmSound = 0;
    WriteRaw(r.Bytes());
    AppSettingsData read;
    ASSERT_TRUE(ReadSettingsFile(path_, read));
    EXPECT_EQ(read.PollIntervalMs, 100);
    EXPECT_EQ(read.ReadIntervalTimeout, 0);
    EXPECT_EQ(read.ReadTotalTimeoutMultiplier, 0);
    EXPECT_EQ(read.ReadTotalTimeoutConstant, 9999999);
    EXPECT_EQ(read.WriteTotalTimeoutMultiplier, 0);
    EXPECT_EQ(read.WriteTotalTimeoutConstant, 9999999);
    EXPECT_EQ(read.BaudRate, 110);
    EXPECT_EQ(read.LogoWidth, 0);
    EXPECT_EQ(read.LogoHeight, 5000);
    EXPECT_EQ(read.ConnectionType, 1);
    EXPECT_EQ(read.LastComPort, 255);
    EXPECT_EQ(read.PollingEnabled, 0);
    EXPECT_EQ(read.PollItemFlags[3], 0);
    EXPECT_EQ(read.AlarmSound, 0);
    EXPECT_EQ(SettingsBytes(read), r.Bytes());
    for (uint32_t rate : {300u, 14400u, 56000u, 128000u, 256000u}) {
        r.baud = int32_t(rate);
        WriteRaw(r.Bytes());
        AppSettingsData again;
        ASSERT_TRUE(ReadSettingsFile(path_, again));
        EXPECT_EQ(again.BaudRate, int32_t(rate));
    }
}

TEST_F(SettingsFile, ASettingsFileThatIsNoFileCountsAsAbsent) {
    // A link to an endless device, a FIFO with no writer, a folder and a file
    // far larger than any settings file: every default, and the read ends.
    const std::string fifo = dir_ + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir_ + "/big";
    {
        std::ofstream out(big, std::ios::binary);
        AppSettingsData s;
        s.PollIntervalMs = 77;
        out << SettingsBytes(s) << std::string(1024 * 1024, '\0');
    }
    for (const std::string& target : {std::string("/dev/zero"), fifo, dir_ + "/sub", big}) {
        fs::remove(path_);
        if (target == dir_ + "/sub") fs::create_directory(target);
        ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0) << target;
        AppSettingsData s;
        EXPECT_FALSE(ReadSettingsFile(path_, s)) << target;
        ApplyStartupDefaults(s);
        EXPECT_EQ(SettingsBytes(s), SettingsBytes([] {
                      AppSettingsData d;
                      ApplyStartupDefaults(d);
                      return d;
                  }()))
            << target;
    }
}

}  // namespace
