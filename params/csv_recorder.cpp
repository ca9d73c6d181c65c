#include "params/csv_recorder.h"

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/program_folder.h"

std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string CsvHeaderLine() {
    std::string line = "time_utc,connected";
    for (const SampleColumnInfo& column : kSampleColumns) {
        line += ',';
        line += column.name;
    }
    return line + "\r\n";
}

std::string CsvRow(const PollSample& sample) {
    std::string line = FormatUtcMs(sample.timeMs);
    line += sample.connected ? ",1" : ",0";
    for (const std::string& value : sample.values) {
        line += ',';
        line += CsvCell(value);
    }
    return line + "\r\n";
}

CCsvRecorder::~CCsvRecorder() { Stop(); }

bool CCsvRecorder::Start(const std::string& path, std::string& error) {
    Stop();
    // Opened without waiting (a FIFO with no reader fails at once); written with waiting.
    if (!file_.Open(path, WrittenFile::Mode::Truncate)) {
        error = std::strerror(errno);
        return false;
    }
    path_ = path;
    rows_ = 0;
    end_ = 0;
    if (!WriteWhole(CsvHeaderLine(), error)) {
        // The caller says the recording could not start; the system's reason is enough.
        error = std::strerror(errno);
        Stop();
        return false;
    }
    return true;
}

bool CCsvRecorder::Append(const PollSample& sample, std::string& error) {
    if (!file_.IsOpen()) {
        error = "not recording";
        return false;
    }
    error = FileGone();
    if (!error.empty() || !WriteWhole(CsvRow(sample), error)) {
        Stop();
        return false;
    }
    ++rows_;
    return true;
}

void CCsvRecorder::Stop() {
    file_.Close();
}

std::string CCsvRecorder::FileGone() const {
    if (!file_.IsRegular()) return "";
    switch (file_.LinkOf(path_)) {
    case WrittenFile::PathLink::Here: return "";
    case WrittenFile::PathLink::Deleted: return "the recording file was deleted";
    case WrittenFile::PathLink::Moved: return "the recording file was renamed or moved";
    case WrittenFile::PathLink::Replaced: return "the recording file was replaced by another file";
    case WrittenFile::PathLink::Unreachable:
        return std::string("the recording file cannot be found: ") + std::strerror(errno);
    case WrittenFile::PathLink::Unknown: break;
    }
    return std::string("the recording file cannot be checked: ") + std::strerror(errno);
}

bool CCsvRecorder::WriteWhole(const std::string& text, std::string& error) {
    // One write per row goes straight to the file: nothing waits in a buffer
    // of ours when the program ends unexpectedly.
    if (file_.WriteAll(text)) {
        end_ += text.size();
        return true;
    }
    const int why = errno;
    if (!file_.IsRegular()) {
        error = std::string("a row could not be written: ") + std::strerror(why);
    } else if (!file_.TruncateTo(end_)) {
        error = std::string("a row could not be written (") + std::strerror(why) +
                ") and could not be taken back: " + std::strerror(errno);
    } else {
        error = std::string("a row could not be written and was taken back: ") + std::strerror(why);
    }
    errno = why;
    return false;
}
