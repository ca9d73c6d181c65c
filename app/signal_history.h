// The signal history of one program run: every poll cycle's sample goes into
// the bounded ring, into the CSV recording when one runs, and its lock and
// connection changes into the event log. Fed on the poll thread, read by the
// history window and the tool; everything here is under one lock.
#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/event_log.h"
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

class CSignalHistory : public IPollSampleSink {
public:
    explicit CSignalHistory(size_t capacity = kHistoryCapacity);

    CEventLog& Events() { return events_; }

    void OnPollSample(const PollSample& sample) override;

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
    void NoteLockChange(int band, LockState now, int64_t timeMs);
    void NoteConnection(bool connected, int64_t timeMs);
    void UpdateAlignment(const HistoryPoint& point);

    mutable std::mutex mutex_;
    CSampleRing ring_;
    CCsvRecorder recorder_;
    CEventLog events_;
    // The last known state of each lock band and of the connection; Unknown
    // until first seen after a Connect, so that the first reading is no change.
    LockState locks_[kLockBandCount] = {LockState::Unknown, LockState::Unknown, LockState::Unknown};
    LockState connection_ = LockState::Unknown;
    AlignmentReading alignment_;
};
