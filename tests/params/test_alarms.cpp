// The alarm model over runs of poll cycles: hold-off, hysteresis, a value
// flickering around its threshold, the unit silent and back, a poll item
// switched off, inputs fitted or not; acknowledgement and the recent list.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "params/alarms.h"
#include "params/lamps.h"
#include "params/poll_sample.h"

namespace {

// One cycle at time t: "silent", or words col=value over a healthy unit
// (locked, no errors, SNR A 18, level A -45); "items=N": the items switched
// on (and read); "cut=N": the items a cycle ended early read.
struct Cycle {
    int64_t t;
    const char* reads;
};

struct RunCase {
    const char* what;
    AlarmKind kind;   // the rule the case sets
    uint32_t raiseMs, clearMs;
    double margin;
    std::vector<Cycle> cycles;
    const char* events;   // "t raise|clear|withdraw name value", one a cycle's event
    AlarmState last;      // the state of the kind's first alarm (input A) at the end
    uint8_t inputs = kAlarmDefaultInputs;
};

const std::vector<RunCase> kRuns = {
    {"hold-off: raised once the condition held the raise delay", AlarmKind::SnrLow, 3000, 0, 1,
     {{0, "snr_a_db=9"}, {2000, "snr_a_db=9"}, {4000, "snr_a_db=8.5"}},
     "4000 raise snr_low_a 8.5", AlarmState::Active},
    {"hysteresis: clears at threshold plus margin held the clear delay", AlarmKind::SnrLow, 0, 1000, 1,
     {{0, "snr_a_db=9"}, {1000, "snr_a_db=10.5"}, {2000, "snr_a_db=11"}, {2500, "snr_a_db=9"}, {3000, "snr_a_db=11"},
      {4000, "snr_a_db=11.5"}},
     "0 raise snr_low_a 9 | 4000 clear snr_low_a 11.5", AlarmState::Normal},
    {"a value flickering around its threshold gives one alarm", AlarmKind::SnrLow, 0, 0, 1,
     {{0, "snr_a_db=9.9"}, {1000, "snr_a_db=10.1"}, {2000, "snr_a_db=9.9"}, {3000, "snr_a_db=10.1"}, {4000, "snr_a_db=9.9"}},
     "0 raise snr_low_a 9.9", AlarmState::Active},
    {"flicker shorter than the hold-off gives none", AlarmKind::SnrLow, 5000, 0, 0,
     {{0, "snr_a_db=9.9"}, {2000, "snr_a_db=10.1"}, {4000, "snr_a_db=9.9"}, {6000, "snr_a_db=10.1"}},
     "", AlarmState::Normal},
    {"the unit silent and back: the lock alarms stand until read again", AlarmKind::UnitSilent, 2000, 0, 0,
     {{0, "demod_lock=0"}, {1000, "silent"}, {2000, "silent"}, {3000, "silent"}, {4000, ""}},
     "0 raise demod_lock_lost 0 | 0 raise reception_lost 0 | 3000 raise unit_silent 1 | 4000 clear unit_silent 0 | "
     "4000 clear demod_lock_lost 1 | 4000 clear reception_lost 0",
     AlarmState::Normal},
    {"a poll item switched off: withdrawn, not evaluated", AlarmKind::SnrLow, 0, 0, 0,
     {{0, "snr_a_db=9"}, {1000, "items=11 snr_a_db=9"}, {2000, "items=11"}},
     "0 raise snr_low_a 9 | 1000 withdraw snr_low_a -", AlarmState::NotEvaluated},
    {"a cycle cut short before an item leaves its alarm", AlarmKind::SnrLow, 0, 0, 0,
     {{0, "snr_a_db=9"}, {1000, "cut=11"}, {2000, "snr_a_db=12"}},
     "0 raise snr_low_a 9 | 2000 clear snr_low_a 12", AlarmState::Normal},
    {"level outside its range, with hysteresis", AlarmKind::LevelOutOfRange, 0, 0, 2,
     {{0, "level_a_dbm=-10"}, {1000, "level_a_dbm=-21"}, {2000, "level_a_dbm=-23"}, {3000, "level_a_dbm=-90"}},
     "0 raise level_out_of_range_a -10 | 2000 clear level_out_of_range_a -23 | 3000 raise level_out_of_range_a -90",
     AlarmState::Active},
    {"packet errors rising, a counter started again counts whole", AlarmKind::PacketErrorsRising, 0, 0, 0,
     {{0, "packet_errors=4"}, {1000, "packet_errors=9"}, {2000, "packet_errors=9"}, {3000, "packet_errors=2"}},
     "0 raise reception_lost 4 | 1000 raise packet_errors_rising 5 | 2000 clear packet_errors_rising 0 | "
     "3000 raise packet_errors_rising 2",
     AlarmState::Active},
    {"inputs not fitted are not watched", AlarmKind::SnrLow, 0, 0, 0, {{0, "snr_b_db=3 snr_c_db=3"}},
     "0 raise snr_low_b 3", AlarmState::Normal, 0b011},
};

PollSample Sample(const Cycle& cycle, const LampMemory& before, uint8_t* itemsOn = nullptr) {
    PollSample sample;
    sample.timeMs = 1'700'000'000'000 + cycle.t;
    sample.lampsBefore = before;
    const std::string reads = cycle.reads;
    if (reads == "silent") return sample;
    sample.connected = true;
    auto& v = sample.values;
    v[kColDemodLock] = "1", v[kColPacketErrors] = "000000", v[kColDecoderLock] = "1";
    v[kColSnrA] = "18.0", v[kColLevelA] = "-45.0";
    std::istringstream words(reads);
    for (std::string word; words >> word;) {
        const std::string key = word.substr(0, word.find('=')), value = word.substr(word.find('=') + 1);
        if (key == "items" || key == "cut") sample.itemsRead = uint8_t(std::stoi(value));
        if (key == "items" && itemsOn) *itemsOn = sample.itemsRead;
        for (int c = 0; c < kSampleColumnCount; ++c)
            if (key == kPollPlan[c].name) v[c] = value;
    }
    return sample;
}

std::string Shown(const AlarmEvent& e, int64_t t) {
    std::ostringstream line;
    line << t << " " << AlarmTransitionName(e.transition) << " " << e.alarm.id.Name() << " ";
    (e.value ? line << *e.value : line << "-");
    return line.str();
}

TEST(AlarmModel, Runs) {
    for (const RunCase& c : kRuns) {
        SCOPED_TRACE(c.what);
        // Every other rule without delays: the healthy unit raises none.
        AlarmRules rules;
        for (AlarmRule& other : rules.rules) other.raiseDelayMs = other.clearDelayMs = 0;
        AlarmRule& rule = rules.Of(c.kind);
        rule.raiseDelayMs = c.raiseMs, rule.clearDelayMs = c.clearMs, rule.clearMargin = c.margin;
        rules.inputsFitted = c.inputs;
        CAlarmModel model(rules);
        LampMemory lamps;
        std::string events;
        for (const Cycle& cycle : c.cycles) {
            uint8_t itemsOn = kEveryPollItem;
            const PollSample sample = Sample(cycle, lamps, &itemsOn);
            lamps = LampsAfter(lamps, sample);
            for (const AlarmEvent& e : model.Evaluate(sample, itemsOn, cycle.t)) {
                events += (events.empty() ? "" : " | ") + Shown(e, cycle.t);
                EXPECT_EQ(e.alarm.raisedUtcMs, 1'700'000'000'000 + e.alarm.raisedAt);
            }
        }
        EXPECT_EQ(events, c.events);
        const AlarmId first{c.kind, AlarmKindOf(c.kind).perInput ? 0 : -1};
        EXPECT_STREQ(AlarmStateName(model.StateOf(first)), AlarmStateName(c.last));
    }
}

TEST(AlarmModel, ActiveRecentAcknowledgedAndCounted) {
    AlarmRules rules;
    for (AlarmRule& rule : rules.rules) rule.raiseDelayMs = rule.clearDelayMs = 0;
    CAlarmModel model(rules);
    const auto evaluate = [&](int64_t t, const char* reads) { return model.Evaluate(Sample({t, reads}, {}), kEveryPollItem, t); };
    evaluate(0, "snr_a_db=4");
    evaluate(1000, "silent");
    ASSERT_EQ(model.Active().size(), 2u);
    EXPECT_EQ(model.HighestActive(), AlarmSeverity::Critical);
    const uint64_t snr = model.Active()[0].serial;
    EXPECT_TRUE(model.Acknowledge(snr));
    EXPECT_FALSE(model.Acknowledge(999));
    EXPECT_EQ(model.AcknowledgeAll(), 1);
    evaluate(2000, "snr_a_db=20");
    EXPECT_EQ(model.HighestActive(), std::nullopt);
    ASSERT_EQ(model.Recent().size(), 2u);
    const Alarm& newest = model.Recent().front();   // cleared in kind order, newest first
    EXPECT_TRUE(newest.serial == snr && newest.acknowledged && newest.value == 4.0 && newest.clearedAt == 2000);

    // A rule switched off while raised is withdrawn at the next cycle.
    evaluate(3000, "snr_a_db=4");
    rules.Of(AlarmKind::SnrLow).enabled = false;
    model.SetRules(rules);
    const auto events = evaluate(4000, "snr_a_db=4");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].transition, AlarmTransition::Withdrawn);
    EXPECT_EQ(model.StateOf({AlarmKind::SnrLow, 0}), AlarmState::Off);
    EXPECT_EQ(model.RaiseCount({AlarmKind::SnrLow, 0}), 2u);
}

}  // namespace
