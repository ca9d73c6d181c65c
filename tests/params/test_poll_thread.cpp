// The poll cycle against the simulated unit: exchange order, posted messages,
// item switches, keep-alive, stop handling; and the thread's start and stop.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fakes.h"
#include "link/locks.h"
#include "params/codec.h"
#include "params/poll_thread.h"
#include "platform/debug_out.h"
#include "sim_link.h"

using namespace testing_params;

namespace {

class PollTest : public ::testing::Test {
protected:
    UnitState unit;   // the values of the unit under test
    void SetUp() override {
        ResetCodecState(unit);
        unit.demodMode = 0;
        ASSERT_TRUE(sim.started);
        sim.unit->SetValue("1loc", "1");
        sim.unit->SetValue("1pkt", "3");
        sim.unit->SetValue("eloc", "1");
        sim.unit->SetValue("1snr", "12.5");
        sim.unit->SetValue("1ina", "-45.0");
        sim.unit->ClearRequests();
        params.window = &window;
        params.link = sim.link.get();
        params.unit = &unit;
        params.unitAddress = 1;
        params.interval = 10;
        params.pollingEnabled = &pollingEnabled;
        params.pollItemFlags = itemFlags;
    }

    std::vector<std::string> Expected(std::initializer_list<const char*> codes, int address = 1) {
        std::vector<std::string> out;
        for (const char* code : codes) out.push_back(Read(address, code));
        return out;
    }

    SimLink sim;
    RecordingTarget window;
    PollThreadParams params;
    PollCycleState state;
    uint8_t pollingEnabled = 1;
    uint8_t itemFlags[4] = {1, 1, 1, 1};
};

std::string CodeOf(const Posted& p) { return p.row->code; }

// What a cycle posted before its closing report (which every cycle with an
// exchange ends with).
std::vector<Posted> BeforeReport(const RecordingTarget& window) {
    std::vector<Posted> m = window.Messages();
    EXPECT_FALSE(m.empty());
    if (m.empty()) return m;
    EXPECT_EQ(m.back().ev, Ev::PollCycleDone);
    m.pop_back();
    return m;
}

TEST_F(PollTest, FullCycleReadsElevenCodesInOrder) {
    EXPECT_EQ(RunPollCycle(params, state), 11);
    EXPECT_EQ(sim.Requests(), Expected({"1loc", "1pkt", "eloc", "1snr", "1mer", "1cer", "1dnr", "1ina", "1inb",
                                        "1inc", "1ind"}));

    const std::vector<Posted> m = BeforeReport(window);
    ASSERT_EQ(m.size(), 9u + 8u * 3u);
    // Demod lock then reception: green, then red because of the packet errors.
    EXPECT_EQ(m[0].ev, Ev::Lamp);
    EXPECT_EQ(m[0].lamp, Lamp::DemodLock);
    EXPECT_EQ(m[0].state, LampState::Green);
    EXPECT_EQ(m[1].ev, Ev::Value);
    EXPECT_EQ(m[1].table, ValueTable::Demod);
    EXPECT_EQ(CodeOf(m[1]), "1loc");
    EXPECT_EQ(m[2].ev, Ev::UnitAlive);
    EXPECT_EQ(m[3].ev, Ev::Lamp);
    EXPECT_EQ(m[3].lamp, Lamp::Reception);
    EXPECT_EQ(m[3].state, LampState::Red);
    EXPECT_EQ(CodeOf(m[4]), "1pkt");
    EXPECT_EQ(m[5].ev, Ev::UnitAlive);
    EXPECT_EQ(m[6].lamp, Lamp::DecoderLock);
    EXPECT_EQ(m[6].state, LampState::Green);
    EXPECT_EQ(m[7].ev, Ev::Value);
    EXPECT_EQ(m[7].table, ValueTable::Decoder);
    EXPECT_EQ(CodeOf(m[7]), "eloc");
    EXPECT_EQ(m[8].ev, Ev::UnitAlive);
    // Each sample: value updated, unit alive, graph sample with the graph-list row.
    for (int i = 0; i < 8; ++i) {
        const Posted* s = &m[9 + 3 * i];
        const ParamEntry* graphRow = i < 4 ? &SnrGraphList[i] : &LevelGraphList[i - 4];
        EXPECT_EQ(s[0].ev, Ev::Value);
        EXPECT_EQ(CodeOf(s[0]), graphRow->code);
        EXPECT_EQ(s[1].ev, Ev::UnitAlive);
        EXPECT_EQ(s[2].ev, Ev::Graph);
        EXPECT_EQ(s[2].row, graphRow);
    }
    // The values were stored in the live table and the graph rows.
    EXPECT_EQ(StoredNumber(unit, NarrowbandDemodTable, "1loc"), 1);
    EXPECT_EQ(StoredText(unit, NarrowbandDemodTable, "1pkt"), "3");
    EXPECT_EQ(StoredText(unit, NarrowbandDemodTable, "1snr"), "12.5");
    EXPECT_EQ(ReadParamValue(unit, SnrGraphList[0]).text, "12.5");
    EXPECT_EQ(ReadParamValue(unit, LevelGraphList[0]).text, "-45.0");
    EXPECT_FALSE(HasStored(unit, DvbtDemodTable, "1snr"));
}

TEST_F(PollTest, LiveTableFollowsTheDemodMode) {
    unit.demodMode = 1;
    itemFlags[0] = itemFlags[1] = itemFlags[3] = 0;
    RunPollCycle(params, state);
    EXPECT_EQ(StoredText(unit, DvbtDemodTable, "1snr"), "12.5");
    EXPECT_FALSE(HasStored(unit, NarrowbandDemodTable, "1snr"));
}

TEST_F(PollTest, ItemsSwitchedOffAreSkipped) {
    itemFlags[0] = 0;
    itemFlags[2] = 0;
    EXPECT_EQ(RunPollCycle(params, state), 5);
    EXPECT_EQ(sim.Requests(), Expected({"eloc", "1ina", "1inb", "1inc", "1ind"}));
    for (const Posted& p : window.Messages()) {
        if (p.ev == Ev::Lamp) {
            EXPECT_EQ(p.lamp, Lamp::DecoderLock);
        }
        if (p.ev == Ev::Graph) {
            const ParamEntry* row = p.row;
            EXPECT_GE(row, &LevelGraphList[0]);
            EXPECT_LT(row, &LevelGraphList[4]);
        }
    }
}

TEST_F(PollTest, NothingToPollSendsOnlyTheKeepAlive) {
    // All items off.
    std::memset(itemFlags, 0, sizeof itemFlags);
    EXPECT_EQ(RunPollCycle(params, state), 1);
    EXPECT_EQ(sim.Requests(), Expected({"gadd"}));
    std::vector<Posted> m = BeforeReport(window);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].ev, Ev::UnitAlive);

    // Polling disabled, items on.
    std::memset(itemFlags, 1, sizeof itemFlags);
    pollingEnabled = 0;
    sim.unit->ClearRequests();
    window.Clear();
    EXPECT_EQ(RunPollCycle(params, state), 1);
    EXPECT_EQ(sim.Requests(), Expected({"gadd"}));
    ASSERT_EQ(BeforeReport(window).size(), 1u);

    // Address not known yet: the keep-alive goes to any unit.
    pollingEnabled = 1;
    params.unitAddress = 0;
    sim.unit->ClearRequests();
    EXPECT_EQ(RunPollCycle(params, state), 1);
    EXPECT_EQ(sim.Requests(), Expected({"gadd"}, 9999));
}

TEST_F(PollTest, AnUnansweredKeepAlivePostsOnlyTheReport) {
    std::memset(itemFlags, 0, sizeof itemFlags);
    params.unitAddress = 77;  // the unit answers only its own address and 9999
    EXPECT_EQ(RunPollCycle(params, state), 1);
    EXPECT_TRUE(BeforeReport(window).empty());
}

TEST_F(PollTest, FailedExchangesStillCountSoNoKeepAlive) {
    itemFlags[1] = itemFlags[2] = itemFlags[3] = 0;
    sim.unit->SetFault(sim::Fault::BadChecksum, 2);
    EXPECT_EQ(RunPollCycle(params, state), 2);
    EXPECT_EQ(sim.Requests(), Expected({"1loc", "1pkt"}));
    EXPECT_TRUE(BeforeReport(window).empty());
    EXPECT_FALSE(HasStored(unit, NarrowbandDemodTable, "1loc"));
}

TEST_F(PollTest, ReceptionLampUsesTheLastGoodLockReading) {
    itemFlags[1] = itemFlags[2] = itemFlags[3] = 0;
    sim.unit->SetValue("1pkt", "0");
    RunPollCycle(params, state);  // locked, no errors: green
    window.Clear();
    sim.unit->SetFault(sim::Fault::BadChecksum, 1);  // this cycle's lock read fails
    RunPollCycle(params, state);
    const std::vector<Posted> m = BeforeReport(window);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].lamp, Lamp::Reception);
    EXPECT_EQ(m[0].state, LampState::Green);

    PollCycleState fresh;  // before any good lock read: not locked
    window.Clear();
    sim.unit->SetFault(sim::Fault::BadChecksum, 1);
    RunPollCycle(params, fresh);
    ASSERT_FALSE(window.Messages().empty());
    EXPECT_EQ(window.Messages()[0].state, LampState::Red);
}

TEST_F(PollTest, StopDuringSnrFinishesThatExchangeThenOneLevel) {
    window.onPost = [this](const Posted& p) {
        if (p.ev == Ev::Value && std::strcmp(p.row->code, "1mer") == 0)
            params.stop.Set();
    };
    EXPECT_EQ(RunPollCycle(params, state), 6);
    EXPECT_EQ(sim.Requests(), Expected({"1loc", "1pkt", "eloc", "1snr", "1mer", "1ina"}));

    // With the levels switched off the cycle ends after the SNR exchange.
    params.stop.Clear();
    itemFlags[3] = 0;
    sim.unit->ClearRequests();
    EXPECT_EQ(RunPollCycle(params, state), 5);
    EXPECT_EQ(sim.Requests(), Expected({"1loc", "1pkt", "eloc", "1snr", "1mer"}));
}

TEST_F(PollTest, StopAlreadySetStillLetsTheFirstSnrExchangeAndOneLevelRun) {
    // The stop flag is looked at after each exchange, never before the first
    // one of an item: with only the SNR and level items on, a stop that is
    // already set lets one SNR exchange and then one level exchange run.
    itemFlags[0] = itemFlags[1] = 0;
    params.stop.Set();
    EXPECT_EQ(RunPollCycle(params, state), 2);
    EXPECT_EQ(sim.Requests(), Expected({"1snr", "1ina"}));
    params.stop.Clear();
}

TEST_F(PollTest, StopAfterTheLockReadEndsTheCycle) {
    window.onPost = [this](const Posted& p) {
        if (p.ev == Ev::Lamp) params.stop.Set();
    };
    EXPECT_EQ(RunPollCycle(params, state), 1);
    EXPECT_EQ(sim.Requests(), Expected({"1loc"}));
}

TEST_F(PollTest, ClosedLinkSendsNothing) {
    CFerritRemoteControl closed(&window);
    params.link = &closed;
    EXPECT_EQ(RunPollCycle(params, state), 0);
    params.link = nullptr;
    EXPECT_EQ(RunPollCycle(params, state), 0);
    EXPECT_TRUE(sim.Requests().empty());
    EXPECT_TRUE(window.Messages().empty());
}

TEST_F(PollTest, ThreadCyclesUntilStoppedAndIsNeverKilled) {
    CPollThread thread;
    std::memset(itemFlags, 0, sizeof itemFlags);
    ASSERT_TRUE(StartPollThread(thread, params));
    EXPECT_FALSE(thread.Start(params));  // one thread at a time
    ASSERT_TRUE(WaitUntil([&] { return sim.Requests().size() >= 3; }));
    StopPollThread(thread);
    EXPECT_FALSE(thread.IsRunning());
    const size_t after = sim.Requests().size();
    for (const std::string& frame : sim.Requests()) EXPECT_EQ(frame, Read(1, "gadd"));

    // A long pause is cut short by the stop flag.
    params.interval = 3600 * 1000;
    sim.unit->ClearRequests();
    ASSERT_TRUE(thread.Start(params));
    ASSERT_TRUE(WaitUntil([&] { return sim.Requests().size() >= 1; }));
    thread.Stop();
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(sim.Requests().size(), 1u);
    (void)after;
}

TEST_F(PollTest, StopWaitsBeyondItsBoundForABusyThread) {
    std::vector<std::string> lines;
    std::mutex linesMutex;
    std::atomic<bool> lateLine{false};
    SetDebugSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(line);
        lateLine = true;
    });

    // Another operation holds the poll gate, so the thread waits inside its first exchange.
    std::atomic<bool> gateHeld{false};
    std::thread holder([&] {
        std::lock_guard<std::recursive_mutex> gate(sim.link->PollGate());
        gateHeld = true;
        while (!lateLine) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    ASSERT_TRUE(WaitUntil([&] { return gateHeld.load(); }));

    CPollThread thread;
    ASSERT_TRUE(thread.Start(params));
    const bool late = thread.Stop();  // returns only once the thread has ended
    holder.join();
    SetDebugSink(nullptr);

    EXPECT_TRUE(late);
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Poll thread still running after 1500 ms; waiting for it to end\r\n");
    // The exchange it was waiting for ran, and the stop ended the cycle there.
    EXPECT_EQ(sim.Requests(), Expected({"1loc"}));
}

}  // namespace

// Every cycle's readings, as the unit sent them, go to the sample sink.
namespace {
class CollectingSink : public IPollSampleSink {
public:
    void OnPollSample(const PollSample& sample) override { samples.push_back(sample); }
    std::vector<PollSample> samples;
};
}  // namespace

TEST_F(PollTest, CycleHandsItsReadingsToTheSampleSink) {
    sim.unit->SetValue("1mer", "7.25");
    sim.unit->SetValue("1ind", "-61.5");
    CollectingSink sink;
    params.sampleSink = &sink;
    PollSample direct;
    RunPollCycle(params, state, &direct);
    ASSERT_EQ(sink.samples.size(), 1u);
    const PollSample& s = sink.samples[0];
    EXPECT_TRUE(s.connected);
    EXPECT_GT(s.timeMs, 1'700'000'000'000);
    EXPECT_EQ(s.values[kColDemodLock], "1");
    EXPECT_EQ(s.values[kColPacketErrors], "3");
    EXPECT_EQ(s.values[kColDecoderLock], "1");
    EXPECT_EQ(s.values[kColSnrA], "12.5");
    EXPECT_EQ(s.values[kColSnrB], "7.25");
    EXPECT_EQ(s.values[kColLevelA], "-45.0");
    EXPECT_EQ(s.values[kColLevelD], "-61.5");
    for (int column = 0; column < kSampleColumnCount; ++column) {
        EXPECT_EQ(direct.values[column], s.values[column]) << kSampleColumns[column].name;
    }
}

TEST_F(PollTest, SampleLeavesFailedAndSwitchedOffReadsEmpty) {
    itemFlags[PollItemLevels] = 0;
    sim.unit->SetFault(sim::Fault::BadChecksum, 1);   // the 1loc read fails
    PollSample sample;
    RunPollCycle(params, state, &sample);
    EXPECT_TRUE(sample.connected);
    EXPECT_EQ(sample.values[kColDemodLock], "");
    EXPECT_EQ(sample.values[kColPacketErrors], "3");
    EXPECT_EQ(sample.values[kColSnrA], "12.5");
    for (int column = kColLevelA; column <= kColLevelD; ++column) EXPECT_EQ(sample.values[column], "");
}

TEST_F(PollTest, SampleOfAGarbledOrClosedUnitIsNotConnected) {
    CollectingSink sink;
    params.sampleSink = &sink;
    sim.unit->SetFault(sim::Fault::BadChecksum);   // every reply, until cleared
    RunPollCycle(params, state);
    sim.unit->ClearFault();
    CFerritRemoteControl closed(&window);
    params.link = &closed;
    RunPollCycle(params, state);
    ASSERT_EQ(sink.samples.size(), 2u);
    for (const PollSample& s : sink.samples) {
        EXPECT_FALSE(s.connected);
        for (const std::string& value : s.values) EXPECT_EQ(value, "");
    }
}

// Every cycle that made an exchange ends by telling what it read and whether
// the unit answered at all: the window shows the rest as unknown.
TEST_F(PollTest, CycleEndsWithWhatItReadAndWhetherTheUnitAnswered) {
    const struct {
        const char* name;
        uint8_t polling;
        uint8_t flags[4];
        int32_t address;     // 77: a unit that answers no request
        bool away;           // the cycle before went unanswered
        bool answered;
        uint8_t itemsRead;
    } cases[] = {
        {"all items", 1, {1, 1, 1, 1}, 1, false, true, 0xF},
        {"decoder and levels", 1, {0, 1, 0, 1}, 1, false, true, 0xA},
        {"polling off: keep-alive only", 0, {1, 1, 1, 1}, 1, false, true, 0},
        {"silent unit", 1, {1, 0, 0, 0}, 77, false, false, 0x1},
        {"silent unit, keep-alive", 0, {1, 1, 1, 1}, 77, false, false, 0},
        // The unit at address 1 is found by the any-unit probe and polled there.
        {"unit away: found at its address", 1, {1, 1, 1, 1}, 77, true, true, 0xF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pollingEnabled = c.polling;
        std::memcpy(itemFlags, c.flags, sizeof itemFlags);
        params.unitAddress = c.address;
        window.Clear();
        PollCycleState fresh;
        fresh.unitAway = c.away;
        RunPollCycle(params, fresh);
        EXPECT_EQ(fresh.unitAway, !c.answered);
        EXPECT_EQ(params.unitAddress.load(), c.away ? 1 : c.address);
        const std::vector<Posted> m = window.Messages();
        ASSERT_FALSE(m.empty());
        ASSERT_EQ(m.back().ev, Ev::PollCycleDone);
        EXPECT_EQ(window.Count(Ev::PollCycleDone), 1);
        const PollCycleReport r = m.back().report;
        EXPECT_EQ(r.answered, c.answered);
        EXPECT_EQ(r.itemsRead, c.itemsRead);
    }
}
