// The poll thread against a misbehaving unit: it keeps cycling through every
// fault and sends its requests again once the fault is cleared; a unit that
// restarts in the middle of a cycle is picked up again afterwards.
#include <gtest/gtest.h>

#include <thread>

#include "faults/unit_rig.h"
#include "link/frame.h"
#include "link/unit_events.h"
#include "params/codec.h"
#include "params/poll_thread.h"

namespace {

using std::chrono::milliseconds;
using sim::Fault;

constexpr milliseconds kLimit{20000};   // a condition that never comes fails the test, never hangs it

struct FaultCase {
    Transport transport;
    Fault fault;
    uint32_t delayMs;
};

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& p) {
    return std::string(TransportName(p.param.transport)) + "_" + sim::FaultName(p.param.fault);
}

class PollThroughFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PollThroughFault, KeepsCyclingAndRecovers) {
    const FaultCase c = GetParam();
    UnitRig rig(c.transport);
    ASSERT_TRUE(rig.Start());
    Polling poll(rig, 20);
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(rig.WaitForFrames(12, kLimit));   // a full cycle of 11 exchanges went by

    rig.unit->SetFault(c.fault, -1, c.delayMs);
    const uint64_t faultStart = rig.unit->Counters().framesTaken;
    // The thread goes on sending while every reply is spoiled.
    ASSERT_TRUE(rig.WaitForFrames(faultStart + 4, kLimit)) << "the poll thread stopped sending under the fault";
    EXPECT_GT(rig.unit->Counters().faultsApplied, 0u);

    rig.unit->ClearFault();
    const int alive = rig.window.Count(Ev::UnitAlive);
    const uint64_t cleared = rig.unit->Counters().framesTaken;
    ASSERT_TRUE(rig.WaitForFrames(cleared + 23, kLimit)) << "the poll thread did not resume";
    EXPECT_TRUE(rig.window.WaitFor(Ev::UnitAlive, alive + 5, kLimit));
    EXPECT_EQ(rig.link->Connected(), 1);
    EXPECT_TRUE(poll.Stop()) << "the poll thread did not end within its stop bound";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PollThroughFault,
    ::testing::Values(FaultCase{Transport::Serial, Fault::Silence, 0}, FaultCase{Transport::Tcp, Fault::Silence, 0},
                      FaultCase{Transport::Serial, Fault::NoiseBeforeStx, 0},
                      FaultCase{Transport::Tcp, Fault::NoiseBeforeStx, 0},
                      FaultCase{Transport::Serial, Fault::BadChecksum, 0},
                      FaultCase{Transport::Tcp, Fault::BadChecksum, 0}, FaultCase{Transport::Serial, Fault::NoEtx, 0},
                      FaultCase{Transport::Tcp, Fault::NoEtx, 0},
                      FaultCase{Transport::Serial, Fault::SplitTcpSegment, 50},
                      FaultCase{Transport::Tcp, Fault::SplitTcpSegment, 50},
                      FaultCase{Transport::Serial, Fault::DropConnection, 0},
                      FaultCase{Transport::Tcp, Fault::DropConnection, 0},
                      FaultCase{Transport::Serial, Fault::SlowReply, 500},
                      FaultCase{Transport::Tcp, Fault::SlowReply, 1700}),
    CaseName);

// The request texts of one full poll cycle, in order, as frames.
std::vector<std::string> CycleFrames() {
    std::vector<std::string> frames;
    for (const char* code : {"1loc", "1pkt", "eloc", "1snr", "1mer", "1cer", "1dnr", "1ina", "1inb", "1inc", "1ind"}) {
        std::string frame;
        BuildRequestFrame(BuildReadRequest(1, code), frame);
        frames.push_back(frame);
    }
    return frames;
}

class PollThroughRestart : public ::testing::TestWithParam<Transport> {};

TEST_P(PollThroughRestart, UnitRestartingInTheMiddleOfACycle) {
    UnitRig rig(GetParam());
    ASSERT_TRUE(rig.Start());
    // Slow replies make a cycle last long enough to restart the unit inside it.
    rig.unit->SetFault(Fault::SlowReply, -1, 40);
    rig.unit->ClearRequests();
    Polling poll(rig, 50);
    ASSERT_TRUE(poll.Start());
    ASSERT_TRUE(rig.WaitForFrames(rig.unit->Counters().framesTaken + 5, kLimit));
    rig.unit->RestartNow();
    rig.unit->ClearFault();
    const std::vector<std::string> before = rig.unit->Requests();
    ASSERT_GE(before.size(), 5u);
    EXPECT_NE(before.back(), CycleFrames().back()) << "the restart did not fall inside a cycle";

    // The unit comes back; the thread carries on with whole cycles.
    const auto end = std::chrono::steady_clock::now() + kLimit;
    while (rig.unit->IsRestarting() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_FALSE(rig.unit->IsRestarting());
    const int alive = rig.window.Count(Ev::UnitAlive);
    const uint64_t back = rig.unit->Counters().framesTaken;
    ASSERT_TRUE(rig.WaitForFrames(back + 30, kLimit)) << "the poll thread did not resume after the restart";
    EXPECT_TRUE(rig.window.WaitFor(Ev::UnitAlive, alive + 11, kLimit));

    // Somewhere after the restart a whole cycle went through in order.
    const std::vector<std::string> after = rig.unit->Requests();
    const std::vector<std::string> cycle = CycleFrames();
    bool wholeCycle = false;
    for (size_t i = before.size(); i + cycle.size() <= after.size() && !wholeCycle; ++i)
        wholeCycle = std::equal(cycle.begin(), cycle.end(), after.begin() + long(i));
    EXPECT_TRUE(wholeCycle);
    if (GetParam() == Transport::Serial) {
        EXPECT_GE(rig.window.Count(Ev::LinkLost), 1);   // the silent unit was noticed
        EXPECT_GT(rig.unit->Counters().ignoredRestarting, 0u);
    } else {
        EXPECT_GE(rig.unit->Counters().tcpConnections, 2u);   // reconnected to the restarted unit
    }
    EXPECT_EQ(rig.link->Connected(), 1);
    EXPECT_TRUE(poll.Stop());
}

INSTANTIATE_TEST_SUITE_P(Transports, PollThroughRestart, ::testing::Values(Transport::Serial, Transport::Tcp),
                         [](const ::testing::TestParamInfo<Transport>& p) { return std::string(TransportName(p.param)); });

}  // namespace
