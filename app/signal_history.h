// The signal history of one program run: every poll cycle's sample goes into
// the bounded ring, into the CSV recording when one runs, and its lock and
// connection changes into the event log; once alarm rules are set, the alarm
// model is evaluated on it too. Fed on the poll thread, read by the history
// and alarm windows and the tool; everything here is under one lock.
#pragma once
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/event_log.h"
#include "params/alarms.h"
#include "params/csv_recorder.h"
#include "params/poll_sample.h"
#include "params/sample_ring.h"

// The live SNR of the best input and its peak since the last reset.
struct AlignmentReading {
    float bestSnr = NAN;   // NaN: no SNR in the newest sample
    int bestInput = -1;    // 0..3 for inputs A..D
    float peakSnr = NAN;
    int peakInput = -1;
};

// The alarms as they stand, copied under the history's lock.
struct AlarmSnapshot {
    std::vector<Alarm> active;    // in raise order
    std::deque<Alarm> recent;     // cleared or withdrawn, newest first
    std::optional<AlarmSeverity> highest;
    std::vector<AlarmId> notEvaluated;   // rules on whose poll item is switched off
};

class CSignalHistory : public IPollSampleSink {
public:
    explicit CSignalHistory(size_t capacity = kHistoryCapacity);

    CEventLog& Events() { return events_; }

    // A sample at the steady clock's time (TickMs).
    void OnPollSample(const PollSample& sample) override;
    // A sample at the steady time `steadyMs` (never going back), with the
    // poll items switched on at the time (bit 1 << PollItem).
    void Take(const PollSample& sample, uint8_t itemsOn, int64_t steadyMs);
    // Where OnPollSample learns which poll items are switched on (the
    // desktop's settings; called on the poll thread). Default: every item.
    void SetPollItemsOn(std::function<uint8_t()> itemsOn);

    // Alarms. Until rules are set none are evaluated and a lock change is an
    // event at once. With rules, every sample after a Connect is evaluated:
    // raise, clear and withdraw go to the event log, and the lock and
    // reception events wait out the raise and clear delays of the three lock
    // rules (whether those alarms are on or off), so that a lock flickering
    // for less than the delay gives no event.
    void SetAlarmRules(const AlarmRules& rules);
    std::optional<AlarmRules> AlarmRulesInForce() const;
    AlarmSnapshot Alarms() const;
    // Acknowledges one alarm (by serial) or every active one, each with its
    // "alarm-acknowledged" event; false, 0: nothing to acknowledge.
    bool AcknowledgeAlarm(uint64_t serial);
    int AcknowledgeAllAlarms();

    // The operator connected (detail: the port or address) or closed the
    // connection. Connection events between the two come from the samples.
    void NoteConnected(const std::string& detail);
    void NoteDisconnected();

    // Recording to CSV. Start empties or creates the file; Stop adds the
    // "recording-stopped" event. A row that cannot be written whole, or a file
    // deleted or replaced, ends the recording with a "recording-stopped" event
    // "PATH (N rows): REASON".
    bool StartRecording(const std::string& path, std::string& error);
    void StopRecording();
    bool IsRecording() const;
    std::string RecordingPath() const;

    AlignmentReading Alignment() const;
    void ResetPeak();

    // Runs `reader` with the ring under the history's lock; keep it short.
    void Read(const std::function<void(const CSampleRing&)>& reader) const;
    size_t Size() const;

private:
    void NoteLockEvents(const std::vector<AlarmEvent>& events, const LockState (&now)[kLockBandCount]);
    // A fresh hold-off for the lock events (after a Connect or a close).
    void RestartLockHoldOff();
    void NoteConnection(bool connected, int64_t timeMs);
    void UpdateAlignment(const HistoryPoint& point);

    mutable std::mutex mutex_;
    CSampleRing ring_;
    CCsvRecorder recorder_;
    CEventLog events_;
    // Whether each lock band was seen on since the Connect: a band that was
    // never on has not been lost. The connection is Unknown until a Connect.
    bool lockSeen_[kLockBandCount] = {false, false, false};
    LockState connection_ = LockState::Unknown;
    // The alarm rules (none until set), the alarms, and the lock events' hold-off.
    std::optional<AlarmRules> rules_;
    std::optional<CAlarmModel> alarms_;
    CAlarmModel lockHoldOff_;
    std::function<uint8_t()> itemsOn_;
    AlignmentReading alignment_;
};
