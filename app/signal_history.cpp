#include "app/signal_history.h"

#include "app/alarm_texts.h"
#include "platform/clock.h"

namespace {

// Each lock band, the alarm whose rule holds off its events, and its events.
struct LockEvents {
    AlarmKind kind;
    EventKind lost;
    EventKind regained;
};
constexpr LockEvents kLockEvents[kLockBandCount] = {
    {AlarmKind::DemodLockLost, EventKind::DemodLockLost, EventKind::DemodLockRegained},
    {AlarmKind::ReceptionLost, EventKind::ReceptionLost, EventKind::ReceptionRegained},
    {AlarmKind::DecoderLockLost, EventKind::DecoderLockLost, EventKind::DecoderLockRegained},
};

constexpr EventKind kAlarmEvents[] = {EventKind::AlarmRaised, EventKind::AlarmCleared, EventKind::AlarmWithdrawn};

// The rules of the lock events' hold-off: the three lock rules, on, with the
// delays of `rules` (none before rules are set: a change is an event at once).
AlarmRules LockHoldOffRules(const std::optional<AlarmRules>& rules) {
    AlarmRules holdOff = rules ? *rules : AlarmRules::Defaults();
    for (AlarmRule& rule : holdOff.rules) rule.enabled = false;
    for (const LockEvents& band : kLockEvents) {
        AlarmRule& rule = holdOff.Of(band.kind);
        rule.enabled = true;
        if (!rules) rule.raiseDelayMs = rule.clearDelayMs = 0;
    }
    return holdOff;
}

}  // namespace

CSignalHistory::CSignalHistory(size_t capacity) : ring_(capacity), lockHoldOff_(LockHoldOffRules(std::nullopt)) {}

void CSignalHistory::OnPollSample(const PollSample& sample) {
    std::function<uint8_t()> itemsOn;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        itemsOn = itemsOn_;
    }
    Take(sample, itemsOn ? itemsOn() : kEveryPollItem, int64_t(TickMs()));
}

void CSignalHistory::SetPollItemsOn(std::function<uint8_t()> itemsOn) {
    std::lock_guard<std::mutex> lock(mutex_);
    itemsOn_ = std::move(itemsOn);
}

void CSignalHistory::Take(const PollSample& sample, uint8_t itemsOn, int64_t steadyMs) {
    const HistoryPoint point = ToHistoryPoint(sample);
    std::string failure;
    bool recordingFailed = false;
    std::vector<AlarmEvent> lockEvents;
    std::vector<AlarmEvent> alarmEvents;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.Push(point);
        UpdateAlignment(point);
        if (recorder_.IsRecording() && !recorder_.Append(sample, failure)) {
            recordingFailed = true;
            failure = recorder_.Path() + " (" + std::to_string(recorder_.Rows()) + " rows): " + failure;
        }
        // Before the operator connects, or after a close, nothing is watched.
        if (connection_ != LockState::Unknown) {
            lockEvents = lockHoldOff_.Evaluate(sample, kEveryPollItem, steadyMs);
            if (alarms_) alarmEvents = alarms_->Evaluate(sample, itemsOn, steadyMs);
        }
    }
    // Events are added outside the history's lock: their listener may read the history.
    if (recordingFailed) events_.Add(EventKind::RecordingStopped, failure, sample.timeMs);
    NoteConnection(sample.connected, sample.timeMs);
    NoteLockEvents(lockEvents, point.locks);
    for (const AlarmEvent& e : alarmEvents)
        events_.Add(kAlarmEvents[size_t(e.transition)], AlarmEventDetail(e.alarm), sample.timeMs);
}

void CSignalHistory::NoteLockEvents(const std::vector<AlarmEvent>& events, const LockState (&now)[kLockBandCount]) {
    for (const AlarmEvent& e : events) {
        for (int band = 0; band < kLockBandCount; ++band) {
            if (kLockEvents[band].kind != e.alarm.id.kind) continue;
            bool seen;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen = lockSeen_[band];
            }
            if (e.transition == AlarmTransition::Raised && seen)
                events_.Add(kLockEvents[band].lost, {}, e.alarm.raisedUtcMs);
            if (e.transition == AlarmTransition::Cleared)
                events_.Add(kLockEvents[band].regained, {}, e.alarm.clearedUtcMs.value_or(e.alarm.raisedUtcMs));
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection_ == LockState::Unknown) return;
    for (int band = 0; band < kLockBandCount; ++band)
        if (now[band] == LockState::On) lockSeen_[band] = true;
}

void CSignalHistory::RestartLockHoldOff() {
    lockHoldOff_ = CAlarmModel(LockHoldOffRules(rules_));
    for (bool& seen : lockSeen_) seen = false;
}

void CSignalHistory::SetAlarmRules(const AlarmRules& rules) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_ = rules;
    if (alarms_)
        alarms_->SetRules(rules);
    else
        alarms_.emplace(rules);
    lockHoldOff_.SetRules(LockHoldOffRules(rules_));
}

std::optional<AlarmRules> CSignalHistory::AlarmRulesInForce() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rules_;
}

AlarmSnapshot CSignalHistory::Alarms() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!alarms_) return {};
    AlarmSnapshot snapshot{alarms_->Active(), alarms_->Recent(), alarms_->HighestActive(), {}};
    for (const AlarmId& id : CAlarmModel::AllIds())
        if (alarms_->StateOf(id) == AlarmState::NotEvaluated) snapshot.notEvaluated.push_back(id);
    return snapshot;
}

bool CSignalHistory::AcknowledgeAlarm(uint64_t serial) {
    std::optional<Alarm> acknowledged;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!alarms_) return false;
        auto find = [serial](const auto& list) -> std::optional<Alarm> {
            for (const Alarm& a : list)
                if (a.serial == serial) return a;
            return std::nullopt;
        };
        std::optional<Alarm> alarm = find(alarms_->Active());
        if (!alarm) alarm = find(alarms_->Recent());
        if (!alarm || alarm->acknowledged || !alarms_->Acknowledge(serial)) return false;
        acknowledged = alarm;
    }
    events_.Add(EventKind::AlarmAcknowledged, AlarmEventDetail(*acknowledged));
    return true;
}

int CSignalHistory::AcknowledgeAllAlarms() {
    std::vector<Alarm> acknowledged;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!alarms_) return 0;
        for (const Alarm& a : alarms_->Active())
            if (!a.acknowledged) acknowledged.push_back(a);
        alarms_->AcknowledgeAll();
    }
    for (const Alarm& a : acknowledged) events_.Add(EventKind::AlarmAcknowledged, AlarmEventDetail(a));
    return int(acknowledged.size());
}

void CSignalHistory::NoteConnection(bool connected, int64_t timeMs) {
    const LockState now = connected ? LockState::On : LockState::Off;
    LockState before;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        before = connection_;
        // Before the operator connects, or after a close, there is nothing to lose.
        if (before == LockState::Unknown) return;
        connection_ = now;
    }
    if (before == LockState::On && now == LockState::Off) events_.Add(EventKind::ConnectionLost, {}, timeMs);
    if (before == LockState::Off && now == LockState::On) events_.Add(EventKind::ConnectionBack, {}, timeMs);
}

void CSignalHistory::NoteConnected(const std::string& detail) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_ = LockState::On;
        RestartLockHoldOff();
    }
    events_.Add(EventKind::Connected, detail);
}

void CSignalHistory::NoteDisconnected() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_ = LockState::Unknown;
        RestartLockHoldOff();
    }
    events_.Add(EventKind::Disconnected);
}

bool CSignalHistory::StartRecording(const std::string& path, std::string& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!recorder_.Start(path, error)) return false;
    }
    events_.Add(EventKind::RecordingStarted, path);
    return true;
}

void CSignalHistory::StopRecording() {
    std::string path;
    uint64_t rows = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!recorder_.IsRecording()) return;
        path = recorder_.Path();
        rows = recorder_.Rows();
        recorder_.Stop();
    }
    events_.Add(EventKind::RecordingStopped, path + " (" + std::to_string(rows) + " rows)");
}

bool CSignalHistory::IsRecording() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorder_.IsRecording();
}

std::string CSignalHistory::RecordingPath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorder_.IsRecording() ? recorder_.Path() : std::string();
}

void CSignalHistory::UpdateAlignment(const HistoryPoint& point) {
    alignment_.bestSnr = NAN;
    alignment_.bestInput = -1;
    for (int input = 0; input < 4; ++input) {
        const float snr = point.series[input];
        if (std::isnan(snr)) continue;
        if (alignment_.bestInput < 0 || snr > alignment_.bestSnr) {
            alignment_.bestSnr = snr;
            alignment_.bestInput = input;
        }
    }
    if (alignment_.bestInput >= 0 && (alignment_.peakInput < 0 || alignment_.bestSnr > alignment_.peakSnr)) {
        alignment_.peakSnr = alignment_.bestSnr;
        alignment_.peakInput = alignment_.bestInput;
    }
}

AlignmentReading CSignalHistory::Alignment() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return alignment_;
}

void CSignalHistory::ResetPeak() {
    std::lock_guard<std::mutex> lock(mutex_);
    alignment_.peakSnr = alignment_.bestSnr;
    alignment_.peakInput = alignment_.bestInput;
}

void CSignalHistory::Read(const std::function<void(const CSampleRing&)>& reader) const {
    std::lock_guard<std::mutex> lock(mutex_);
    reader(ring_);
}

size_t CSignalHistory::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ring_.Size();
}
