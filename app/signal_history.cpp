#include "app/signal_history.h"

namespace {

struct LockEvents {
    EventKind lost;
    EventKind regained;
};
constexpr LockEvents kLockEvents[kLockBandCount] = {
    {EventKind::DemodLockLost, EventKind::DemodLockRegained},
    {EventKind::ReceptionLost, EventKind::ReceptionRegained},
    {EventKind::DecoderLockLost, EventKind::DecoderLockRegained},
};

}  // namespace

CSignalHistory::CSignalHistory(size_t capacity) : ring_(capacity) {}

void CSignalHistory::OnPollSample(const PollSample& sample) {
    const HistoryPoint point = ToHistoryPoint(sample);
    std::string failure;
    bool recordingFailed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.Push(point);
        UpdateAlignment(point);
        if (recorder_.IsRecording() && !recorder_.Append(sample, failure)) {
            recordingFailed = true;
            failure = recorder_.Path() + " (" + std::to_string(recorder_.Rows()) + " rows): " + failure;
        }
    }
    // Events are added outside the history's lock: their listener may read the history.
    if (recordingFailed) events_.Add(EventKind::RecordingStopped, failure, sample.timeMs);
    NoteConnection(sample.connected, sample.timeMs);
    if (!sample.connected) return;
    for (int band = 0; band < kLockBandCount; ++band) NoteLockChange(band, point.locks[band], sample.timeMs);
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

void CSignalHistory::NoteLockChange(int band, LockState now, int64_t timeMs) {
    if (now == LockState::Unknown) return;
    LockState before;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        before = locks_[band];
        locks_[band] = now;
    }
    if (before == LockState::On && now == LockState::Off) events_.Add(kLockEvents[band].lost, {}, timeMs);
    if (before == LockState::Off && now == LockState::On) events_.Add(kLockEvents[band].regained, {}, timeMs);
}

void CSignalHistory::NoteConnected(const std::string& detail) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_ = LockState::On;
        for (LockState& band : locks_) band = LockState::Unknown;
    }
    events_.Add(EventKind::Connected, detail);
}

void CSignalHistory::NoteDisconnected() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_ = LockState::Unknown;
        for (LockState& band : locks_) band = LockState::Unknown;
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
