// The Windows serial and TCP code against a simulated unit that runs natively
// beside Wine (scripts/windows.sh starts it): its pseudo-terminal is COM port
// TAVRIN_WINE_COM (a number) of the Wine prefix, its TCP listener the address
// TAVRIN_WINE_TCP. Without them the cases are skipped, never passed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/serial_port.h"
#include "support/link_exchange.h"

using testsupport::Exchange;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct Way {
    const char* name;
    const char* variable;
    bool serial;
};
constexpr Way kWays[] = {{"com", "TAVRIN_WINE_COM", true}, {"tcp", "TAVRIN_WINE_TCP", false}};

class WineLink : public ::testing::TestWithParam<Way> {
protected:
    void SetUp() override {
        where = Env(GetParam().variable);
        if (where.empty()) GTEST_SKIP() << GetParam().variable << " is not set: no native unit to reach";
        if (GetParam().serial) {
            ASSERT_EQ(link.OpenSerialPort(std::atoi(where.c_str()) - 1), kResultOk) << "COM" << where;
        } else {
            link.SelectEthernet(where);
            ASSERT_EQ(link.ConnectSocket(), 0) << where;
        }
    }
    std::string where;
    CFerritRemoteControl link{nullptr};
};

// The address read, a reception value and a write of the mode, as a session begins.
TEST_P(WineLink, ExchangesWithTheUnit) {
    {
        LinkGuard guard(link.LinkMutex());
        ASSERT_EQ(link.ProbeUnit(), kResultOk);
    }
    EXPECT_EQ(link.Connected(), 1);
    std::string address;
    ASSERT_EQ(Exchange(link, "9999rgadd;;", &address), kResultOk);
    EXPECT_EQ(address, "1");
    std::string lock;
    ASSERT_EQ(Exchange(link, "0001r1loc;;", &lock), kResultOk);
    EXPECT_FALSE(lock.empty());
    // Many exchanges in a row: every one answered, nothing left over between them.
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Exchange(link, "0001r1loc;;"), kResultOk) << "exchange " << i;
}

INSTANTIATE_TEST_SUITE_P(Ways, WineLink, ::testing::ValuesIn(kWays),
                         [](const ::testing::TestParamInfo<Way>& way) { return std::string(way.param.name); });

// The port itself: the five time-outs as set, and a read with nothing to come
// ends with no byte. (Wine lets a second program open a COM port that is
// open already, so the exclusive open is not looked at here.)
TEST(WineComPort, TimeoutsAreKeptAndAnIdleReadEnds) {
    const std::string com = Env("TAVRIN_WINE_COM");
    if (com.empty()) GTEST_SKIP() << "TAVRIN_WINE_COM is not set";
    const std::string device = ComPortDevicePath(std::atoi(com.c_str()) - 1);
    EXPECT_EQ(device, "\\\\.\\COM" + com);
    SerialPort port;
    ASSERT_TRUE(port.Open(device));
    ASSERT_TRUE(port.SetLine(9600));
    const SerialTimeouts wanted{500, 1, 200, 1, 1000};
    ASSERT_TRUE(port.SetTimeouts(wanted));
    SerialTimeouts kept;
    ASSERT_TRUE(port.GetTimeouts(kept));
    EXPECT_EQ(kept.readTotalConstant, 200u);
    EXPECT_EQ(kept.writeTotalConstant, 1000u);
    port.PurgeReceive();
    uint8_t byte = 0;
    EXPECT_EQ(port.ReadByte(byte), 0);
    EXPECT_FALSE(port.DeviceGone());
}

// Presence: the system's answer for the linked port, and the probe tests put in its place.
TEST(WineComPort, PresenceGoesThroughTheProbe) {
    const std::string com = Env("TAVRIN_WINE_COM");
    if (com.empty()) GTEST_SKIP() << "TAVRIN_WINE_COM is not set";
    const int index = std::atoi(com.c_str()) - 1;
    EXPECT_TRUE(SystemComPortPresent(index));
    EXPECT_FALSE(SystemComPortPresent(255)) << "COM256";
    SetComPortProbe([index](int i) { return i == index; });
    EXPECT_TRUE(ComPortPresent(index));
    EXPECT_FALSE(ComPortPresent(0));
    SetComPortProbe({});
    EXPECT_EQ(ComPortPresent(index), SystemComPortPresent(index));
}

}  // namespace
