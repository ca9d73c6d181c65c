// The event log: one time-stamped line for each thing an operator looks back
// for (a connection, a lock lost or regained, a slot or mode change, a file
// or set loaded or saved, defaults restored, a key written, a recording, an
// alarm raised, cleared, withdrawn or acknowledged).
// Kept in memory (the newest events) and appended to a file, one event a line:
// "time_utc<TAB>event<TAB>detail". The file is bounded: when it passes
// kEventFileMaxBytes, its older part is dropped at a line boundary.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum class EventKind : int {
    Connected,
    ConnectionLost,
    ConnectionBack,
    DemodLockLost,
    DemodLockRegained,
    ReceptionLost,
    ReceptionRegained,
    DecoderLockLost,
    DecoderLockRegained,
    SlotChanged,
    ModeChanged,
    ConfigFileLoaded,
    ConfigFileSaved,
    ConfigSetLoaded,
    ConfigSetSaved,
    DefaultsRestored,
    KeyWritten,
    RecordingStarted,
    RecordingStopped,
    Disconnected,
    AlarmRaised,
    AlarmCleared,
    AlarmWithdrawn,
    AlarmAcknowledged,
};

// "connected", "connection-lost", "demod-lock-lost", ...
const char* EventName(EventKind kind);

struct EventRecord {
    int64_t timeMs = 0;
    EventKind kind = EventKind::Connected;
    std::string detail;
};

// The line written to the file, ending in '\n'. Tabs, line breaks and other
// control characters in the detail become spaces, so one event is one line.
std::string EventLine(const EventRecord& record);

inline constexpr size_t kEventFileMaxBytes = 4u << 20;    // trimmed when passed
inline constexpr size_t kEventFileKeepBytes = 2u << 20;   // newest part kept
inline constexpr size_t kEventMemoryCount = 2000;         // events kept in memory

// Thread-safe: the poll thread adds lock events, the window the others.
class CEventLog {
public:
    // The file events are appended to; empty: memory only.
    void SetFile(const std::string& path);
    std::string File() const;
    // Called after each event is added, outside the log's lock, on the thread
    // that added it.
    void SetListener(std::function<void(const EventRecord&)> listener);

    // Adds the event; false when the file could not be written (the event is
    // kept in memory all the same).
    bool Add(EventKind kind, const std::string& detail = {}, int64_t timeMs = -1);
    // The newest events, newest first.
    std::vector<EventRecord> Recent(size_t count = kEventMemoryCount) const;

private:
    bool AppendToFile(const std::string& line);

    mutable std::mutex mutex_;
    std::string path_;
    std::deque<EventRecord> recent_;
    std::function<void(const EventRecord&)> listener_;
};
