#include "params/alarms.h"

#include <algorithm>

#include "params/lamps.h"
#include "params/poll_sample.h"

namespace {

using K = AlarmKind;
using S = AlarmSeverity;
using T = AlarmTest;

constexpr const char* kSeverityNames[kAlarmSeverityCount] = {"critical", "major", "minor", "warning"};

// The SNR and level columns of input 0 (A); inputs B to D follow.
constexpr int kSnrColumn = kColSnrA;
constexpr int kLevelColumn = kColLevelA;

}  // namespace

// kind, name, title, test, poll item, per input, severity, low, high, margin, raise ms, clear ms
const std::array<AlarmKindInfo, kAlarmKindCount> kAlarmKinds = {{
    {K::UnitSilent, "unit_silent", "Unit not answering", T::Flag, PollItemAlways, false, S::Critical, 0, 0, 0, 5000,
     0},
    {K::DemodLockLost, "demod_lock_lost", "Demodulator lock lost", T::Flag, PollItemDemodLock, false, S::Critical, 0,
     0, 0, 5000, 5000},
    {K::ReceptionLost, "reception_lost", "Reception lost", T::Flag, PollItemDemodLock, false, S::Major, 0, 0, 0, 5000,
     5000},
    {K::DecoderLockLost, "decoder_lock_lost", "Decoder lock lost", T::Flag, PollItemDecoderLock, false, S::Major, 0,
     0, 0, 5000, 5000},
    {K::SnrLow, "snr_low", "SNR low", T::Below, PollItemSnr, true, S::Minor, 10.0, 0, 1.0, 10000, 10000},
    {K::LevelOutOfRange, "level_out_of_range", "Input level out of range", T::Outside, PollItemLevels, true,
     S::Warning, -85.0, -20.0, 2.0, 10000, 10000},
    {K::PacketErrorsRising, "packet_errors_rising", "Packet errors rising", T::Rise, PollItemDemodLock, false,
     S::Warning, 1.0, 0, 0, 0, 10000},
}};

const char* AlarmSeverityName(AlarmSeverity severity) { return kSeverityNames[size_t(severity)]; }

std::optional<AlarmSeverity> AlarmSeverityFromName(std::string_view name) {
    for (int i = 0; i < kAlarmSeverityCount; ++i)
        if (name == kSeverityNames[i]) return AlarmSeverity(i);
    return std::nullopt;
}

const AlarmKindInfo& AlarmKindOf(AlarmKind kind) { return kAlarmKinds[size_t(kind)]; }

std::optional<AlarmKind> AlarmKindFromName(std::string_view name) {
    for (const AlarmKindInfo& info : kAlarmKinds)
        if (name == info.name) return info.kind;
    return std::nullopt;
}

AlarmRules::AlarmRules() {
    for (const AlarmKindInfo& info : kAlarmKinds) {
        AlarmRule& rule = Of(info.kind);
        rule.kind = info.kind;
        rule.enabled = true;
        rule.severity = info.severity;
        rule.raiseDelayMs = info.raiseDelayMs;
        rule.clearDelayMs = info.clearDelayMs;
        rule.low = info.low;
        rule.high = info.high;
        rule.clearMargin = info.clearMargin;
    }
}

std::string AlarmId::Name() const {
    std::string name = AlarmKindOf(kind).name;
    if (input >= 0) name += std::string("_") + char('a' + input);
    return name;
}

std::string AlarmId::Title() const {
    std::string title = AlarmKindOf(kind).title;
    if (input >= 0) title += std::string(", input ") + char('A' + input);
    return title;
}

bool AlarmWatched(const AlarmRules& rules, const AlarmId& id) {
    const bool fitted = id.input < 0 || (id.input < kAlarmInputCount && (rules.inputsFitted & (1u << id.input)) != 0);
    return rules.Of(id.kind).enabled && fitted;
}

const char* AlarmStateName(AlarmState state) {
    constexpr const char* names[] = {"off", "not evaluated", "normal", "raising", "active", "clearing"};
    return names[size_t(state)];
}

const char* AlarmTransitionName(AlarmTransition transition) {
    constexpr const char* names[] = {"raise", "clear", "withdraw"};
    return names[size_t(transition)];
}

CAlarmModel::CAlarmModel(const AlarmRules& rules) : rules_(rules) {}

void CAlarmModel::SetRules(const AlarmRules& rules) { rules_ = rules; }

int CAlarmModel::SlotIndex(const AlarmId& id) { return int(id.kind) * kAlarmInputCount + std::max(id.input, 0); }

std::vector<AlarmId> CAlarmModel::AllIds() {
    std::vector<AlarmId> ids;
    for (const AlarmKindInfo& info : kAlarmKinds) {
        if (!info.perInput) {
            ids.push_back({info.kind, -1});
            continue;
        }
        for (int input = 0; input < kAlarmInputCount; ++input) ids.push_back({info.kind, input});
    }
    return ids;
}

std::vector<AlarmEvent> CAlarmModel::Evaluate(const PollSample& sample, uint8_t itemsOn, int64_t nowMs) {
    std::vector<AlarmEvent> events;
    const Cycle cycle{nowMs, sample.timeMs, &events};
    const Lamps lamps = SampleLamps(sample);
    const auto& values = sample.values;
    // The packet-error rise since the last count read; a count lower than the
    // last one is a counter started again, and counts whole.
    std::optional<double> rise;
    const std::optional<double> count =
        sample.connected && !sample.shifted && (sample.itemsRead & (1u << PollItemDemodLock))
            ? SampleNumber(values[kColPacketErrors])
            : std::nullopt;
    if (count) {
        rise = lastPacketCount_ && *count >= *lastPacketCount_ ? *count - *lastPacketCount_
               : lastPacketCount_                              ? *count
                                                               : 0.0;
        lastPacketCount_ = count;
    }

    for (const AlarmId& id : AllIds()) {
        const AlarmKindInfo& info = AlarmKindOf(id.kind);
        const AlarmRule& rule = rules_.Of(id.kind);
        if (!AlarmWatched(rules_, id)) {
            MarkUnevaluated(id, AlarmState::Off, cycle);
            continue;
        }
        if (id.kind == AlarmKind::UnitSilent) {
            Step(id, sample.connected ? Reading::Clear : Reading::Raise, sample.connected ? 0.0 : 1.0, cycle);
            continue;
        }
        if (info.item != PollItemAlways && (itemsOn & (1u << info.item)) == 0) {
            MarkUnevaluated(id, AlarmState::NotEvaluated, cycle);
            continue;
        }
        // A cycle with no answer, one whose values are unknown, or one that
        // ended before the item, says nothing about the alarm.
        if (!sample.connected || sample.shifted ||
            (info.item != PollItemAlways && (sample.itemsRead & (1u << info.item)) == 0)) {
            Step(id, Reading::Unknown, std::nullopt, cycle);
            continue;
        }
        // The value and whether it raises, by the kind's column and test.
        std::optional<double> value;
        std::optional<bool> flagged;   // Flag kinds: the lamp red
        auto lamp = [&](LampState state, int column) {
            value = SampleNumber(values[column]);
            if (value && state != LampState::Grey) flagged = state == LampState::Red;
        };
        switch (id.kind) {
        case K::DemodLockLost: lamp(lamps.demodLock, kColDemodLock); break;
        case K::ReceptionLost: lamp(lamps.reception, kColPacketErrors); break;
        case K::DecoderLockLost: lamp(lamps.decoderLock, kColDecoderLock); break;
        case K::SnrLow: value = SampleNumber(values[kSnrColumn + id.input]); break;
        case K::LevelOutOfRange: value = SampleNumber(values[kLevelColumn + id.input]); break;
        case K::PacketErrorsRising: value = rise; break;
        case K::UnitSilent: break;
        }
        Reading reading = Reading::Unknown;
        if (value) {
            const double v = *value;
            const double m = rule.clearMargin;
            switch (info.test) {
            case T::Flag:
                if (flagged) reading = *flagged ? Reading::Raise : Reading::Clear;
                break;
            case T::Below:
                reading = v < rule.low ? Reading::Raise : v >= rule.low + m ? Reading::Clear : Reading::Between;
                break;
            case T::Outside:
                reading = (v < rule.low || v > rule.high)              ? Reading::Raise
                          : (v >= rule.low + m && v <= rule.high - m) ? Reading::Clear
                                                                        : Reading::Between;
                break;
            case T::Rise:
                reading = v >= rule.low ? Reading::Raise : v < rule.low - m ? Reading::Clear : Reading::Between;
                break;
            }
        }
        Step(id, reading, value, cycle);
    }
    return events;
}

void CAlarmModel::Step(const AlarmId& id, Reading reading, std::optional<double> value, const Cycle& cycle) {
    Slot& slot = slots_[size_t(SlotIndex(id))];
    if (slot.state == AlarmState::Off || slot.state == AlarmState::NotEvaluated) slot.state = AlarmState::Normal;
    if (reading == Reading::Unknown) return;   // nothing known: everything stays, timers too
    const AlarmRule& rule = rules_.Of(id.kind);
    switch (slot.state) {
    case AlarmState::Normal:
    case AlarmState::Raising:
        if (reading != Reading::Raise) {
            slot.state = AlarmState::Normal;   // the hold-off starts again next time
            return;
        }
        if (slot.state == AlarmState::Normal) {
            slot.state = AlarmState::Raising;
            slot.since = cycle.nowMs;
        }
        if (cycle.nowMs - slot.since >= int64_t(rule.raiseDelayMs)) Raise(id, value.value_or(0), cycle);
        return;
    case AlarmState::Active:
    case AlarmState::Clearing:
        if (reading != Reading::Clear) {
            slot.state = AlarmState::Active;
            return;
        }
        if (slot.state == AlarmState::Active) {
            slot.state = AlarmState::Clearing;
            slot.since = cycle.nowMs;
        }
        if (cycle.nowMs - slot.since >= int64_t(rule.clearDelayMs)) End(id, AlarmTransition::Cleared, value, cycle);
        return;
    case AlarmState::Off:
    case AlarmState::NotEvaluated: return;
    }
}

void CAlarmModel::Raise(const AlarmId& id, double value, const Cycle& cycle) {
    Slot& slot = slots_[size_t(SlotIndex(id))];
    slot.state = AlarmState::Active;
    ++slot.raises;
    Alarm alarm;
    alarm.serial = nextSerial_++;
    alarm.id = id;
    alarm.severity = rules_.Of(id.kind).severity;
    alarm.value = value;
    alarm.raisedAt = cycle.nowMs;
    alarm.raisedUtcMs = cycle.utcMs;
    active_.push_back(alarm);
    cycle.events->push_back({AlarmTransition::Raised, alarm, value});
}

void CAlarmModel::End(const AlarmId& id, AlarmTransition how, std::optional<double> value, const Cycle& cycle) {
    const auto it = std::find_if(active_.begin(), active_.end(), [&](const Alarm& a) { return a.id == id; });
    if (it == active_.end()) return;
    Alarm alarm = *it;
    active_.erase(it);
    alarm.clearedAt = cycle.nowMs;
    alarm.clearedUtcMs = cycle.utcMs;
    recent_.push_front(alarm);
    if (recent_.size() > kAlarmRecentCount) recent_.pop_back();
    slots_[size_t(SlotIndex(id))].state = AlarmState::Normal;
    cycle.events->push_back({how, alarm, value});
}

void CAlarmModel::MarkUnevaluated(const AlarmId& id, AlarmState state, const Cycle& cycle) {
    Slot& slot = slots_[size_t(SlotIndex(id))];
    if (slot.state == AlarmState::Active || slot.state == AlarmState::Clearing)
        End(id, AlarmTransition::Withdrawn, std::nullopt, cycle);
    slot.state = state;
}

AlarmState CAlarmModel::StateOf(const AlarmId& id) const {
    return AlarmWatched(rules_, id) ? slots_[size_t(SlotIndex(id))].state : AlarmState::Off;
}

std::optional<AlarmSeverity> CAlarmModel::HighestActive() const {
    std::optional<AlarmSeverity> highest;
    for (const Alarm& alarm : active_)
        if (!highest || alarm.severity < *highest) highest = alarm.severity;
    return highest;
}

bool CAlarmModel::IsActive(const AlarmId& id) const {
    return std::any_of(active_.begin(), active_.end(), [&](const Alarm& a) { return a.id == id; });
}

uint64_t CAlarmModel::RaiseCount(const AlarmId& id) const { return slots_[size_t(SlotIndex(id))].raises; }

bool CAlarmModel::Acknowledge(uint64_t serial) {
    auto mark = [serial](auto& list) {
        for (Alarm& alarm : list) {
            if (alarm.serial != serial) continue;
            alarm.acknowledged = true;
            return true;
        }
        return false;
    };
    return mark(active_) || mark(recent_);
}

int CAlarmModel::AcknowledgeAll() {
    int count = 0;
    for (Alarm& alarm : active_) {
        if (alarm.acknowledged) continue;
        alarm.acknowledged = true;
        ++count;
    }
    return count;
}
