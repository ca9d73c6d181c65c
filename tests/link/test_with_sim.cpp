// End-to-end: the link against the simulated unit.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sys/stat.h>

#include "link/locks.h"
#include "link/remote_control.h"
#include "link_peers.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"

using namespace linktest;

namespace {

std::unique_ptr<sim::SimUnit> StartTcpSim(uint32_t restartMs) {
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> octet(1, 254);
    for (int attempt = 0; attempt < 50; ++attempt) {
        sim::SimOptions options;
        options.serial = false;
        options.tcpAddress = "127." + std::to_string(octet(gen)) + "." + std::to_string(octet(gen)) + "." +
                             std::to_string(octet(gen));
        options.restartMs = restartMs;
        auto unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        if (unit->Start(&error)) return unit;
    }
    return nullptr;
}

ResultCode Exchange(CFerritRemoteControl& link, const char* request, std::string* reply = nullptr) {
    int status = 0, length = 0;
    char data[256] = "";
    LinkGuard guard(LinkLock);
    const ResultCode rc = link.Transact(request, &status, data, &length, 1);
    if (reply && rc == kResultOk) *reply = data;
    return rc;
}

TEST(WithSimulatedUnit, SerialProbeAndSilentUnit) {
    TempDir dir;
    SetProgramFolder(dir.Path());
    ASSERT_EQ(mkdir(dir.File("ports").c_str(), 0755), 0);
    sim::SimOptions options;
    options.ptyLinkPath = dir.File("ports/COM3");
    options.address = 42;
    sim::SimUnit unit(options);
    std::string error;
    ASSERT_TRUE(unit.Start(&error)) << error;

    RecordingWindow window;
    CFerritRemoteControl link(&window);
    link.readTotalTimeoutConstant = 100;
    ASSERT_EQ(link.OpenSerialPort(2), kResultOk);
    {
        LinkGuard guard(LinkLock);
        ASSERT_EQ(link.ProbeUnit(), kResultOk);
    }
    EXPECT_EQ(link.connected, 1);
    std::string address;
    ASSERT_EQ(Exchange(link, "9999rgadd;;", &address), kResultOk);
    EXPECT_EQ(address, "42");

    unit.ClearRequests();
    unit.SetFault(sim::Fault::Silence);
    EXPECT_EQ(Exchange(link, "0042r1loc;;"), kErrTimedOut);
    EXPECT_EQ(unit.Requests().size(), 3u);
    EXPECT_EQ(link.connected, 0);
    unit.ClearFault();
    ASSERT_EQ(Exchange(link, "0042r1loc;;"), kResultOk);
    EXPECT_EQ(link.connected, 1);
}

TEST(WithSimulatedUnit, TcpUnitRestartIsFollowedByANewConnection) {
    TempDir dir;
    auto unit = StartTcpSim(200);
    ASSERT_NE(unit, nullptr);
    CFerritRemoteControl link(nullptr);
    link.OpenLog(dir.File("rx.log"));
    link.closeOnSendError = false;
    link.closeOnReceiveError = false;
    link.SelectEthernet(unit->TcpAddress());
    ASSERT_EQ(link.ConnectSocket(), 0);
    std::string address;
    ASSERT_EQ(Exchange(link, "9999rgadd;;", &address), kResultOk);
    EXPECT_EQ(address, "1");

    unit->RestartNow();
    // As the poll thread does: each exchange tries the connection again until
    // the unit listens once more.
    address.clear();
    ASSERT_TRUE(WaitUntil([&] { return Exchange(link, "0001rgadd;;", &address) == kResultOk; }));
    EXPECT_EQ(address, "1");
    EXPECT_EQ(unit->Counters().tcpConnections, 2u);
    const std::string log = ReadFile(dir.File("rx.log"));
    EXPECT_NE(log.find(" Attempt to reconnect socket\r\nSuccessfully reconnected socket\r\n"), std::string::npos)
        << log;
}

}  // namespace
