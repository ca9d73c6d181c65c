#include "app/event_log.h"

#include <array>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/program_folder.h"

namespace {

constexpr std::array<const char*, 24> kEventNames = {
    "connected",          "connection-lost",     "connection-back",   "demod-lock-lost",
    "demod-lock-regained", "reception-lost",     "reception-regained", "decoder-lock-lost",
    "decoder-lock-regained", "slot-changed",     "mode-changed",      "config-file-loaded",
    "config-file-saved",  "config-set-loaded",   "config-set-saved",  "defaults-restored",
    "key-written",        "recording-started",   "recording-stopped", "disconnected",
    "alarm-raised",       "alarm-cleared",       "alarm-withdrawn",   "alarm-acknowledged",
};

// Keeps the newest kEventFileKeepBytes of the file, from a line start on.
bool TrimFile(const std::string& path) {
    std::string contents;
    if (!ReadWholeFile(path, contents, kEventFileMaxBytes * 2)) return false;
    if (contents.size() <= kEventFileKeepBytes) return true;
    size_t cut = contents.size() - kEventFileKeepBytes;
    const size_t lineStart = contents.find('\n', cut);
    cut = lineStart == std::string::npos ? contents.size() : lineStart + 1;
    return ReplaceFileAtomically(path, contents.substr(cut));
}

}  // namespace

const char* EventName(EventKind kind) {
    const auto index = static_cast<size_t>(kind);
    return index < kEventNames.size() ? kEventNames[index] : "unknown";
}

std::string EventLine(const EventRecord& record) {
    std::string detail = record.detail;
    for (char& c : detail) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return FormatUtcMs(record.timeMs) + '\t' + EventName(record.kind) + '\t' + detail + '\n';
}

void CEventLog::SetFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
}

std::string CEventLog::File() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

void CEventLog::SetListener(std::function<void(const EventRecord&)> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

bool CEventLog::Add(EventKind kind, const std::string& detail, int64_t timeMs) {
    EventRecord record{timeMs < 0 ? WallClockMs() : timeMs, kind, detail};
    bool written = true;
    std::function<void(const EventRecord&)> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        recent_.push_front(record);
        if (recent_.size() > kEventMemoryCount) recent_.pop_back();
        if (!path_.empty()) written = AppendToFile(EventLine(record));
        listener = listener_;
    }
    if (listener) listener(record);
    return written;
}

std::vector<EventRecord> CEventLog::Recent(size_t count) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t n = std::min(count, recent_.size());
    return std::vector<EventRecord>(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(n));
}

bool CEventLog::AppendToFile(const std::string& line) {
    WrittenFile file;
    if (!file.Open(path_, WrittenFile::Mode::Append)) return false;
    const bool regular = file.IsRegular();
    const bool written = regular && file.WriteAll(line);
    const int64_t size = regular ? file.Size() : 0;
    file.Close();
    if (written && size > static_cast<int64_t>(kEventFileMaxBytes)) return TrimFile(path_);
    return written;
}
