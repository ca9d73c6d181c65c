#include "params/csv_recorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Opened without waiting (a FIFO with no reader fails at once); written with waiting.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    path_ = path;
    rows_ = 0;
    if (!WriteAll(CsvHeaderLine(), error)) {
        Stop();
        return false;
    }
    return true;
}

bool CCsvRecorder::Append(const PollSample& sample, std::string& error) {
    if (fd_ < 0) {
        error = "not recording";
        return false;
    }
    if (!WriteAll(CsvRow(sample), error)) {
        Stop();
        return false;
    }
    ++rows_;
    return true;
}

void CCsvRecorder::Stop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool CCsvRecorder::WriteAll(const std::string& text, std::string& error) {
    // One write per row goes straight to the file: nothing waits in a buffer
    // of ours when the program ends unexpectedly.
    if (::WriteAll(fd_, text)) return true;
    error = std::strerror(errno);
    return false;
}
