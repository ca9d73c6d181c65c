// A unit told to change mode restarts; a program that waits the restart time
// and then connects anew must find it answering (the mode switch, the
// configuration files and restore defaults all rely on it).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "link/locks.h"
#include "link/remote_control.h"
#include "sim/sim_unit.h"

namespace {

std::unique_ptr<sim::SimUnit> StartTcpUnit(uint32_t restartMs) {
    std::random_device rd;
    std::mt19937 gen(rd());
    std::uniform_int_distribution<int> octet(1, 254);
    for (int attempt = 0; attempt < 50; ++attempt) {
        sim::SimOptions options;
        options.serial = false;
        options.drift = false;
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
    char data[257] = "";
    LinkGuard guard(LinkLock);
    const ResultCode rc = link.Transact(request, &status, data, &length, 1);
    if (reply && rc == kResultOk) *reply = data;
    return rc;
}

TEST(UnitRestart, AConnectionMadeOnceTheRestartTimeHasPassedIsAnswered) {
    constexpr uint32_t kRestartMs = 1000;
    auto unit = StartTcpUnit(kRestartMs);
    ASSERT_TRUE(unit);
    CFerritRemoteControl link(nullptr);
    link.closeOnSendError = false;
    link.closeOnReceiveError = false;
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

}  // namespace
