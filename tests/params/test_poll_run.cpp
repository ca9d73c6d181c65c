// The one poll runner against the simulated unit: a plan extended with reads
// of its own, item switches, what a failed exchange ends, and the locks of
// its exchanges.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "link/locks.h"
#include "link/unit_events.h"
#include "params/codec.h"
#include "params/lamps.h"
#include "params/poll_run.h"
#include "sim_link.h"

using namespace testing_params;

namespace {

class PollRunTest : public ::testing::Test {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override {
        ResetCodecState(unit);
        unit.demodMode = 0;
        ASSERT_TRUE(sim.started);
        sim.unit->SetValue("1loc", "1");
        sim.unit->SetValue("1pre", "12.5");
        sim.unit->ClearRequests();
        run.link = sim.link.get();
        run.unitAddress = 1;
    }

    std::vector<std::string> Codes() const {
        std::vector<std::string> codes;
        for (const std::string& frame : sim.Requests()) codes.push_back(frame.substr(6, 4));
        return codes;
    }

    SimLink sim;
    PollRun run;
};

}  // namespace

TEST_F(PollRunTest, AnExtendedPlanReadsItsOwnRowsAfterTheItemsSwitchedOn) {
    std::vector<PollRead> plan(kPollPlan.begin(), kPollPlan.end());
    plan.push_back({"1pre", "ber_pre", PollItemAlways, PollStop::EndsCycle});
    plan.push_back({"zzzz", "refused", PollItemAlways, PollStop::EndsCycle});
    const uint8_t items[PollItemCount] = {1, 0, 0, 1};   // demod lock and levels
    run.plan = plan;
    run.itemFlags = items;
    std::vector<std::pair<size_t, UnitReply>> told;
    run.onRead = [&](size_t row, const UnitReply& reply) { told.emplace_back(row, reply); };

    PollSample sample;
    EXPECT_EQ(RunPollPlan(run, sample), 8);
    EXPECT_EQ(Codes(), (std::vector<std::string>{"1loc", "1pkt", "1ina", "1inb", "1inc", "1ind", "1pre", "zzzz"}));
    ASSERT_EQ(told.size(), 8u);
    EXPECT_EQ(told[0].first, size_t(kColDemodLock));
    EXPECT_EQ(told[2].first, size_t(kColLevelA));
    EXPECT_EQ(told[6].first, size_t(kSampleColumnCount));
    EXPECT_EQ(told[6].second.data, "12.5");
    // A refusal is an answer without a value.
    EXPECT_TRUE(told[7].second.Answered());
    EXPECT_EQ(told[7].second.status, 'E');
    EXPECT_FALSE(told[7].second.HasValue());

    EXPECT_TRUE(sample.connected);
    EXPECT_EQ(sample.itemsRead, (1u << PollItemDemodLock) | (1u << PollItemLevels));
    EXPECT_EQ(sample.values[kColDemodLock], "1");
    EXPECT_TRUE(sample.values[kColDecoderLock].empty());
}

TEST_F(PollRunTest, WhatAFailedExchangeEnds) {
    struct Case {
        PollFailure onFailure;
        sim::Fault fault;
        int exchanges;
    };
    const Case cases[] = {
        {PollFailure::GoesOn, sim::Fault::BadChecksum, 11},
        {PollFailure::EndsCycle, sim::Fault::BadChecksum, 1},
        {PollFailure::EndsCycleWhenGone, sim::Fault::BadChecksum, 11},
        {PollFailure::EndsCycleWhenGone, sim::Fault::Silence, 1},
    };
    for (const Case& c : cases) {
        sim.unit->ClearRequests();
        sim.unit->SetFault(c.fault, 1);
        run.onFailure = c.onFailure;
        PollSample sample;
        EXPECT_EQ(RunPollPlan(run, sample), c.exchanges) << int(c.onFailure) << " " << int(c.fault);
        EXPECT_TRUE(sample.values[kColDemodLock].empty());
        EXPECT_EQ(sample.connected, c.exchanges > 1);
        sim.unit->ClearFault();
    }
}

TEST_F(PollRunTest, TheDefaultExchangeWaitsForASequenceHoldingThePollGate) {
    const uint8_t items[PollItemCount] = {0, 1, 0, 0};   // eloc alone
    run.itemFlags = items;
    std::unique_lock<std::recursive_mutex> gate(sim.link->PollGate());
    PollSample sample;
    std::thread poll([&] { RunPollPlan(run, sample); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(sim.Requests().empty());   // still waiting for the gate
    gate.unlock();
    poll.join();
    EXPECT_EQ(Codes(), std::vector<std::string>{"eloc"});
}

// A reply the unit sends unasked: the cycle that meets it keeps no values and
// counts no item as read (every lamp grey), and the cycles after it are whole
// again. The trace of a copy shows before a later request of the same cycle,
// or, when the shift it starts runs to the cycle's end, before the next
// cycle's first request: a copy behind a cycle's last reply always shows there.
TEST_F(PollRunTest, TheCycleThatMeetsAReplySentUnaskedKeepsNoValues) {
    struct Case {
        sim::Fault fault;
        uint32_t delayMs;
        const char* code;
        bool lastRead;   // the copy follows the cycle's last reply
    };
    const Case cases[] = {{sim::Fault::ReplyTwice, 0, "1loc", false},
                          {sim::Fault::ReplyTwiceApart, 20, "1snr", false},
                          {sim::Fault::ReplyTwiceApart, 30, "1ind", true}};
    for (const Case& c : cases) {
        sim.unit->SetFault(c.fault, 1, c.delayMs, c.code);
        bool shifted[3] = {};
        for (int cycle = 0; cycle < 3; ++cycle) {
            PollSample sample;
            RunPollPlan(run, sample);
            if (cycle == 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the late bytes land
            shifted[cycle] = sample.shifted;
            EXPECT_EQ(sample.values[kColDemodLock].empty(), sample.shifted) << c.code << " cycle " << cycle;
            EXPECT_EQ(SampleLamps(sample).demodLock == LampState::Grey, sample.shifted) << c.code << " cycle " << cycle;
        }
        EXPECT_TRUE(shifted[0] || shifted[1]) << c.code;
        if (c.lastRead) {
            EXPECT_FALSE(shifted[0]) << c.code;
        }
        EXPECT_FALSE(shifted[2]) << c.code << ": the cycles after it are whole again";
    }
}
