// End-to-end: the link against the simulated unit.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <thread>
#include <utility>

#include "link/locks.h"
#include "link/remote_control.h"
#include "link_peers.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"
#include "support/loopback.h"
#include "support/link_exchange.h"

using namespace linktest;

using testsupport::Exchange;

namespace {

std::unique_ptr<sim::SimUnit> StartTcpSim(uint32_t restartMs) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        sim::SimOptions options;
        options.serial = false;
        options.tcpAddress = testsupport::RandomLoopbackAddress();
        options.restartMs = restartMs;
        auto unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        if (unit->Start(&error)) return unit;
    }
    return nullptr;
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
    {
        SerialTimeouts kept = link.CommTimeouts();
        kept.readTotalConstant = 100;
        link.SetCommTimeouts(kept);
    }
    ASSERT_EQ(link.OpenSerialPort(2), kResultOk);
    {
        LinkGuard guard(link.LinkMutex());
        ASSERT_EQ(link.ProbeUnit(), kResultOk);
    }
    EXPECT_EQ(link.Connected(), 1);
    std::string address;
    ASSERT_EQ(Exchange(link, "9999rgadd;;", &address), kResultOk);
    EXPECT_EQ(address, "42");

    unit.ClearRequests();
    unit.SetFault(sim::Fault::Silence);
    EXPECT_EQ(Exchange(link, "0042r1loc;;"), kErrTimedOut);
    EXPECT_EQ(unit.Requests().size(), 3u);
    EXPECT_EQ(link.Connected(), 0);
    unit.ClearFault();
    ASSERT_EQ(Exchange(link, "0042r1loc;;"), kResultOk);
    EXPECT_EQ(link.Connected(), 1);
}

TEST(WithSimulatedUnit, TcpUnitRestartIsFollowedByANewConnection) {
    TempDir dir;
    auto unit = StartTcpSim(200);
    ASSERT_NE(unit, nullptr);
    CFerritRemoteControl link(nullptr);
    link.OpenLog(dir.File("rx.log"));
    link.SetCloseOnErrors(false, false);
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

// A unit told to change mode restarts; a program that waits the restart time
// and then connects anew must find it answering (the mode switch, the
// configuration files and restore defaults all rely on it).
TEST(UnitRestart, AConnectionMadeOnceTheRestartTimeHasPassedIsAnswered) {
    constexpr uint32_t kRestartMs = 1000;
    auto unit = StartTcpSim(kRestartMs);
    ASSERT_TRUE(unit);
    CFerritRemoteControl link(nullptr);
    link.SetCloseOnErrors(false, false);
    link.SelectEthernet(unit->TcpAddress());
    ASSERT_EQ(link.ConnectSocket(), 0);

    for (int mode : {1, 0}) {
        const std::string request = "0001wgudm;" + std::to_string(mode) + ";";
        ASSERT_EQ(Exchange(link, request.c_str()), kResultOk);
        // What the program does after a mode change: the fixed wait of the
        // restart time (here slept for real), then a fresh connection.
        std::this_thread::sleep_for(std::chrono::milliseconds(kRestartMs));
        EXPECT_EQ(link.ConnectSocket(), 0);
        std::string reply;
        EXPECT_EQ(Exchange(link, "0001rgudm;;", &reply), kResultOk);
        EXPECT_EQ(reply, std::to_string(mode));
    }
    EXPECT_EQ(unit->Counters().restarts, 2u);
}

// Two links in one process, each to its own unit: each has its own locks, so
// a sequence holding one link's poll gate and link lock leaves the other free.
TEST(TwoLinks, EachHasItsOwnLocks) {
    auto unitA = StartTcpSim(200);
    auto unitB = StartTcpSim(200);
    ASSERT_TRUE(unitA && unitB);
    CFerritRemoteControl a(nullptr), b(nullptr);
    for (auto [link, unit] : {std::pair{&a, unitA.get()}, std::pair{&b, unitB.get()}}) {
        link->SetCloseOnErrors(false, false);
        link->SelectEthernet(unit->TcpAddress());
        ASSERT_EQ(link->ConnectSocket(), 0);
    }
    ASSERT_NE(&a.LinkMutex(), &b.LinkMutex());
    ASSERT_NE(&a.PollGate(), &b.PollGate());

    std::lock_guard<std::recursive_mutex> gateA(a.PollGate());
    std::lock_guard<std::recursive_mutex> lockA(a.LinkMutex());
    bool othersFree = false;
    UnitReply reply;
    std::thread other([&] {
        // Another thread finds link A's locks taken and link B's free.
        const bool aTaken = !a.PollGate().try_lock() && !a.LinkMutex().try_lock();
        const bool bFree = b.PollGate().try_lock() && b.LinkMutex().try_lock();
        if (bFree) {
            b.LinkMutex().unlock();
            b.PollGate().unlock();
        }
        othersFree = aTaken && bFree;
        if (bFree) reply = b.Exchange("0001rgadd;;", 1, ExchangeLocks::PollGateAndLink);
    });
    other.join();
    EXPECT_TRUE(othersFree);
    EXPECT_EQ(reply.result, kResultOk);
    EXPECT_EQ(reply.data, "1");
    EXPECT_EQ(a.Exchange("0001rgadd;;", 1, ExchangeLocks::Held).data, "1");
}

}  // namespace
