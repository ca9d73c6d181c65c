#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "link/remote_control.h"
#include "link_peers.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"

using namespace linktest;

namespace {

// The line settings of the slave, as seen through the master.
termios2 LineOf(const PtyUnit& unit) {
    termios2 tio{};
    EXPECT_EQ(ioctl(unit.MasterFd(), TCGETS2, &tio), 0);
    return tio;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFolder(dir.Path()); }
    TempDir dir;
    PtyUnit unit;
};

TEST_F(SerialPortTest, ComPortNamesResolveToDevices) {
    EXPECT_EQ(ComPortDevicePath(0), "/dev/ttyS0");
    EXPECT_EQ(ComPortDevicePath(31), "/dev/ttyS31");
    EXPECT_EQ(ComPortDevicePath(32), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortDevicePath(64), "/dev/ttyACM0");
    EXPECT_EQ(ComPortDevicePath(95), "/dev/ttyACM31");
    EXPECT_EQ(ComPortDevicePath(96), "");
    EXPECT_EQ(ComPortDevicePath(-1), "");
    EXPECT_EQ(ComPortDevicePath(256), "");
    // A link in the ports folder wins, also past COM96.
    unit.LinkAsComPort(dir.Path(), 0);
    unit.LinkAsComPort(dir.Path(), 199);
    EXPECT_EQ(ComPortDevicePath(0), dir.Path() + "/ports/COM1");
    EXPECT_EQ(ComPortDevicePath(199), dir.Path() + "/ports/COM200");
}

TEST_F(SerialPortTest, PresenceNeedsATerminalDevice) {
    unit.LinkAsComPort(dir.Path(), 199);
    EXPECT_TRUE(ComPortPresent(199));
    { std::ofstream(dir.File("plain")) << "not a tty"; }
    mkdir(dir.File("ports").c_str(), 0755);
    ASSERT_EQ(symlink(dir.File("plain").c_str(), dir.File("ports/COM201").c_str()), 0);
    EXPECT_FALSE(ComPortPresent(200));
    ASSERT_EQ(symlink(dir.File("nowhere").c_str(), dir.File("ports/COM202").c_str()), 0);
    EXPECT_FALSE(ComPortPresent(201));
    EXPECT_FALSE(ComPortPresent(150));
}

TEST_F(SerialPortTest, PortIsRawEightNoneOneAndExclusive) {
    SerialPort port;
    ASSERT_TRUE(port.Open(unit.SlavePath()));
    ASSERT_TRUE(port.SetLine(9600));
    const termios2 tio = LineOf(unit);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(tio.c_ospeed, 9600u);
    SerialPort second;
    EXPECT_FALSE(second.Open(unit.SlavePath()));
    port.Close();
    EXPECT_TRUE(second.Open(unit.SlavePath()));
}

TEST_F(SerialPortTest, RatesOutsideTheClassicTableAreSetExactly) {
    SerialPort port;
    ASSERT_TRUE(port.Open(unit.SlavePath()));
    for (uint32_t rate : {14400u, 56000u, 128000u, 256000u, 115200u}) {
        ASSERT_TRUE(port.SetLine(rate)) << rate;
        const termios2 tio = LineOf(unit);
        EXPECT_EQ(tio.c_ospeed, rate);
        EXPECT_EQ(tio.c_ispeed, rate);
    }
}

TEST_F(SerialPortTest, SilentReadReturnsNothingAndABytesIsRead) {
    SerialPort port;
    ASSERT_TRUE(port.Open(unit.SlavePath()));
    SerialTimeouts t;
    t.readTotalMultiplier = 0;
    t.readTotalConstant = 20;
    ASSERT_TRUE(port.SetTimeouts(t));
    uint8_t byte = 0;
    EXPECT_EQ(port.ReadByte(byte), 0);
    ASSERT_EQ(write(unit.MasterFd(), "Q", 1), 1);
    EXPECT_EQ(port.ReadByte(byte), 1);
    EXPECT_EQ(byte, 'Q');
}

class LinkPortTest : public SerialPortTest {
protected:
    void SetUp() override {
        SerialPortTest::SetUp();
        unit.LinkAsComPort(dir.Path(), 2);
    }
    CFerritRemoteControl link{nullptr};
};

TEST_F(LinkPortTest, OpenAppliesBaudRateAndTimeouts) {
    EXPECT_TRUE(link.SetBaudRate(14400));   // no port yet: kept for the open
    EXPECT_EQ(link.BaudRate(), 14400u);
    {
        SerialTimeouts kept = link.CommTimeouts();
        kept.readTotalConstant = 700;
        link.SetCommTimeouts(kept);
    }
    ASSERT_EQ(link.OpenSerialPort(2), kResultOk);
    EXPECT_EQ(link.OpenPortIndex(), 2);
    EXPECT_EQ(link.PortIndex(), 2);
    EXPECT_EQ(LineOf(unit).c_ospeed, 14400u);
    SerialTimeouts t;
    ASSERT_TRUE(link.SerialLine().GetTimeouts(t));
    EXPECT_EQ(t.readTotalConstant, 700u);
    EXPECT_TRUE(link.IsConnected());
    EXPECT_EQ(link.Connected(), 0);   // only an accepted reply connects
    EXPECT_TRUE(link.SetBaudRate(56000));
    EXPECT_EQ(LineOf(unit).c_ospeed, 56000u);
}

TEST_F(LinkPortTest, SecondOpenKeepsThePortButRecordsTheIndex) {
    ASSERT_EQ(link.OpenSerialPort(2), kResultOk);
    const int fd = link.SerialLine().Fd();
    link.SelectEthernet("127.0.0.1");
    EXPECT_EQ(link.OpenSerialPort(7), kErrAlreadyConnected);
    EXPECT_EQ(link.SerialLine().Fd(), fd);
    EXPECT_EQ(link.PortIndex(), 7);
    EXPECT_EQ(link.OpenPortIndex(), 2);
    EXPECT_EQ(link.Mode(), LinkModeSerial);
}

TEST_F(LinkPortTest, MissingPortLeavesNoHandle) {
    EXPECT_EQ(link.OpenSerialPort(150), kErrOpenPort);
    EXPECT_FALSE(link.SerialLine().IsOpen());
    EXPECT_FALSE(link.IsConnected());
    EXPECT_EQ(link.PortIndex(), 150);
    EXPECT_EQ(link.OpenPortIndex(), -1);
}

TEST_F(LinkPortTest, TimeoutChanges) {
    EXPECT_EQ(link.SetCommTimeout(2, 100), kErrNoConnection);
    EXPECT_EQ(link.CommTimeouts().readTotalConstant, 2500u);
    ASSERT_EQ(link.OpenSerialPort(2), kResultOk);
    EXPECT_EQ(link.SetCommTimeout(7, 12345), kResultOk);
    EXPECT_EQ(link.CommTimeouts().readInterval, 500u);
    EXPECT_EQ(link.CommTimeouts().readTotalMultiplier, 1u);
    EXPECT_EQ(link.CommTimeouts().readTotalConstant, 2500u);
    EXPECT_EQ(link.CommTimeouts().writeTotalMultiplier, 1u);
    EXPECT_EQ(link.CommTimeouts().writeTotalConstant, 1000u);
    EXPECT_EQ(link.SetCommTimeout(0, 11), kResultOk);
    EXPECT_EQ(link.SetCommTimeout(1, 12), kResultOk);
    EXPECT_EQ(link.SetCommTimeout(2, 13), kResultOk);
    EXPECT_EQ(link.SetCommTimeout(3, 14), kResultOk);
    EXPECT_EQ(link.SetCommTimeout(4, 15), kResultOk);
    SerialTimeouts t;
    ASSERT_TRUE(link.SerialLine().GetTimeouts(t));
    EXPECT_EQ(t.readInterval, 11u);
    EXPECT_EQ(t.readTotalMultiplier, 12u);
    EXPECT_EQ(t.readTotalConstant, 13u);
    EXPECT_EQ(t.writeTotalMultiplier, 14u);
    EXPECT_EQ(t.writeTotalConstant, 15u);
    EXPECT_EQ(link.CommTimeouts().readInterval, 11u);
    EXPECT_EQ(link.CommTimeouts().writeTotalConstant, 15u);
}

TEST_F(LinkPortTest, CloseKeepsModeAndFlagAndTracesTheClose) {
    DebugCapture debug;
    ASSERT_EQ(link.OpenSerialPort(2), kResultOk);
    link.SetConnected(1);
    link.CloseSerialPort();
    EXPECT_FALSE(link.SerialLine().IsOpen());
    EXPECT_EQ(link.Connected(), 1);
    EXPECT_EQ(link.Mode(), LinkModeSerial);
    EXPECT_TRUE(debug.Has("Serial port closed\r\n"));
    EXPECT_EQ(link.OpenSerialPort(2), kResultOk);   // and it can be opened again
}

}  // namespace
