// Alarms on reception: rules with a severity, a raise delay (hold-off), a
// clear delay and a clear margin (hysteresis), evaluated on each poll cycle's
// sample, the values the cycle already read. No I/O, no clock: the caller
// passes a steady-clock time with each sample, so a flickering value gives
// one alarm, not many, and tests need no sleeps.
//
// The desktop, tavrinctl alarms and the bridge's metrics all evaluate with
// CAlarmModel; the rules come from AlarmRules::Defaults() or from a rules file
// (params/alarm_rules.h).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/poll_plan.h"

struct PollSample;

enum class AlarmSeverity : uint8_t { Critical, Major, Minor, Warning };
inline constexpr int kAlarmSeverityCount = 4;

// "critical", "major", "minor", "warning"; and back (exact, lower case).
const char* AlarmSeverityName(AlarmSeverity severity);
std::optional<AlarmSeverity> AlarmSeverityFromName(std::string_view name);

// The kinds of rule, in the order of kAlarmKinds.
enum class AlarmKind : uint8_t {
    UnitSilent,           // no exchange of the cycle was answered
    DemodLockLost,        // the demod-lock lamp red
    ReceptionLost,        // the reception lamp red
    DecoderLockLost,      // the decoder-lock lamp red
    SnrLow,               // an input's SNR below the threshold (dB)
    LevelOutOfRange,      // an input's level below low or above high (dBm)
    PacketErrorsRising,   // the packet-error count rose by at least the threshold since the last read
};
inline constexpr int kAlarmKindCount = 7;

// How a kind's condition compares its value with the rule's limits.
enum class AlarmTest : uint8_t {
    Flag,      // a yes/no condition (silent, a lamp red); limits unused
    Below,     // value < low raises; clears at value >= low + margin
    Outside,   // value < low or > high raises; clears within [low + margin, high - margin]
    Rise,      // the count's rise since the last read >= low raises; clears at a rise
               // < low - margin (a count lower than the last one rose by all of it)
};

// One row of the table of kinds: its name (in files, metrics and tool output,
// snake_case), its words for operators, its defaults and the poll item that
// feeds it (PollItemAlways: evaluated on every cycle).
struct AlarmKindInfo {
    AlarmKind kind;
    const char* name;    // "unit_silent", "snr_low", ...
    const char* title;   // "Unit not answering", "SNR low", ...
    AlarmTest test;
    PollItem item;
    bool perInput;       // one alarm per fitted input (A to D)
    AlarmSeverity severity;
    double low;          // default thresholds (AlarmTest says which count)
    double high;
    double clearMargin;
    uint32_t raiseDelayMs;
    uint32_t clearDelayMs;
};
extern const std::array<AlarmKindInfo, kAlarmKindCount> kAlarmKinds;

const AlarmKindInfo& AlarmKindOf(AlarmKind kind);
std::optional<AlarmKind> AlarmKindFromName(std::string_view name);

// One rule, for one kind (and for every fitted input of a per-input kind).
struct AlarmRule {
    AlarmKind kind = AlarmKind::UnitSilent;
    bool enabled = true;
    AlarmSeverity severity = AlarmSeverity::Critical;
    uint32_t raiseDelayMs = 0;   // the condition must hold this long to raise
    uint32_t clearDelayMs = 0;   // its absence must hold this long to clear
    double low = 0;              // Below: threshold; Outside: lower bound; Rise: increase
    double high = 0;             // Outside: upper bound
    double clearMargin = 0;      // hysteresis, >= 0

    bool operator==(const AlarmRule&) const = default;
};

inline constexpr int kAlarmInputCount = 4;        // inputs A to D
inline constexpr uint8_t kAlarmDefaultInputs = 1;  // input A only

// The whole rule set: one rule per kind, in kind order, and the inputs the
// site has fitted (bit 0 input A ... bit 3 input D).
struct AlarmRules {
    std::array<AlarmRule, kAlarmKindCount> rules{};
    uint8_t inputsFitted = kAlarmDefaultInputs;

    AlarmRules();                   // the table's defaults, every rule on
    static AlarmRules Defaults() { return AlarmRules(); }
    AlarmRule& Of(AlarmKind kind) { return rules[size_t(kind)]; }
    const AlarmRule& Of(AlarmKind kind) const { return rules[size_t(kind)]; }
    bool operator==(const AlarmRules&) const = default;
};

// Which alarm: a kind, and for per-input kinds the input (0..3 for A..D; -1
// otherwise). Its name is the kind's, with "_a" ... "_d" for an input:
// "snr_low_a", "unit_silent".
struct AlarmId {
    AlarmKind kind = AlarmKind::UnitSilent;
    int input = -1;

    std::string Name() const;
    // For operators: the kind's title, and the input ("SNR low, input A").
    std::string Title() const;
    bool operator==(const AlarmId&) const = default;
};

// Whether the rules watch an alarm: its rule switched on, its input fitted.
bool AlarmWatched(const AlarmRules& rules, const AlarmId& id);

// Where one alarm's rule stands after a cycle.
enum class AlarmState : uint8_t {
    Off,            // the rule is switched off
    NotEvaluated,   // its poll item is switched off (PollItemFlags): nothing read
    Normal,         // the condition does not hold
    Raising,        // the condition holds, the raise delay runs
    Active,         // raised
    Clearing,       // raised; the condition is gone, the clear delay runs
};
const char* AlarmStateName(AlarmState state);   // "off", "not evaluated", "normal", ...

// One raised alarm. Times are the steady-clock ms passed to Evaluate, and the
// wall-clock ms of the sample (PollSample::timeMs) for showing.
struct Alarm {
    uint64_t serial = 0;   // unique within the model, for acknowledgement
    AlarmId id;
    AlarmSeverity severity = AlarmSeverity::Critical;
    double value = 0;       // the value read when it was raised (unit_silent: 1)
    int64_t raisedAt = 0;   // steady ms of the cycle that raised it
    int64_t raisedUtcMs = 0;
    std::optional<int64_t> clearedAt;   // set once cleared
    std::optional<int64_t> clearedUtcMs;
    bool acknowledged = false;
};

// A transition reported by Evaluate. Withdrawn: an active alarm ended
// because its rule is no longer evaluated (switched off, its poll item off,
// its input no longer fitted), not because the condition cleared.
enum class AlarmTransition : uint8_t { Raised, Cleared, Withdrawn };
const char* AlarmTransitionName(AlarmTransition transition);   // "raise", "clear", "withdraw"

struct AlarmEvent {
    AlarmTransition transition = AlarmTransition::Raised;
    Alarm alarm;   // as it stands after the transition
    std::optional<double> value;   // the value read in that cycle, if any
};

inline constexpr size_t kAlarmRecentCount = 200;   // cleared alarms kept

// The model: the state of every alarm, the active ones and the recent
// cleared ones (newest first, at most kAlarmRecentCount). Not thread-safe:
// one owner calls it (the poll thread's sink, the tool's loop).
class CAlarmModel {
public:
    explicit CAlarmModel(const AlarmRules& rules = AlarmRules::Defaults());

    // New rules take effect at the next Evaluate. Alarms whose rule was
    // switched off, or whose input is no longer fitted, are withdrawn then.
    void SetRules(const AlarmRules& rules);
    const AlarmRules& Rules() const { return rules_; }

    // One poll cycle: the sample as the cycle left it; `itemsOn` the poll
    // items switched on (bit 1 << PollItem, as PollItemFlags say: an item
    // switched off makes its alarms "not evaluated"; one switched on that the
    // cycle did not get to, as when a failure ended it early, leaves them as
    // they stand); `nowMs` a steady clock (never going back). A cycle with no
    // answer raises only unit_silent and leaves every other alarm as it
    // stands. Returns the transitions, in kind order.
    std::vector<AlarmEvent> Evaluate(const PollSample& sample, uint8_t itemsOn, int64_t nowMs);

    const std::vector<Alarm>& Active() const { return active_; }
    const std::deque<Alarm>& Recent() const { return recent_; }

    // The state of one alarm (Off for a rule switched off or an input not fitted).
    AlarmState StateOf(const AlarmId& id) const;
    // The highest severity among the active alarms, nullopt when none.
    std::optional<AlarmSeverity> HighestActive() const;
    // Whether an alarm of that id is active now.
    bool IsActive(const AlarmId& id) const;
    // Raises since the model was made, per alarm (the bridge's counters).
    uint64_t RaiseCount(const AlarmId& id) const;

    // Acknowledges an active or recent alarm by serial; false when unknown.
    bool Acknowledge(uint64_t serial);
    // Acknowledges every active alarm; returns how many were not already.
    int AcknowledgeAll();

    // Every alarm id the rules can raise: the kinds in order, a per-input
    // kind once per input A to D (fitted or not).
    static std::vector<AlarmId> AllIds();

private:
    struct Slot {
        AlarmState state = AlarmState::Normal;
        int64_t since = 0;   // when the condition (or its absence) was first seen
        uint64_t raises = 0;
    };
    // What one cycle's value says: the raise condition holds, the clear
    // condition holds, neither (within the margin), or nothing was read.
    enum class Reading : uint8_t { Raise, Clear, Between, Unknown };
    struct Cycle {
        int64_t nowMs;
        int64_t utcMs;
        std::vector<AlarmEvent>* events;
    };
    static constexpr int kSlotCount = kAlarmKindCount * kAlarmInputCount;
    static int SlotIndex(const AlarmId& id);

    void Step(const AlarmId& id, Reading reading, std::optional<double> value, const Cycle& cycle);
    void Raise(const AlarmId& id, double value, const Cycle& cycle);
    void End(const AlarmId& id, AlarmTransition how, std::optional<double> value, const Cycle& cycle);
    void MarkUnevaluated(const AlarmId& id, AlarmState state, const Cycle& cycle);

    AlarmRules rules_;
    std::array<Slot, kSlotCount> slots_{};
    std::vector<Alarm> active_;
    std::deque<Alarm> recent_;
    uint64_t nextSerial_ = 1;
    std::optional<int64_t> lastPacketCount_;
};
