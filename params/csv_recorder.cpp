#include "params/csv_recorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
    struct stat info {};
    fd_ = fd;
    regular_ = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
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
    if (fd_ < 0) {
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
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string CCsvRecorder::FileGone() const {
    if (!regular_) return "";
    struct stat open {}, named {};
    if (::fstat(fd_, &open) != 0) return std::string("the recording file cannot be checked: ") + std::strerror(errno);
    if (::stat(path_.c_str(), &named) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            return std::string("the recording file cannot be found: ") + std::strerror(errno);
        return open.st_nlink == 0 ? "the recording file was deleted" : "the recording file was renamed or moved";
    }
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino)
        return "the recording file was replaced by another file";
    return "";
}

bool CCsvRecorder::WriteWhole(const std::string& text, std::string& error) {
    // One write per row goes straight to the file: nothing waits in a buffer
    // of ours when the program ends unexpectedly.
    if (::WriteAll(fd_, text)) {
        end_ += off_t(text.size());
        return true;
    }
    const int why = errno;
    if (!regular_) {
        error = std::string("a row could not be written: ") + std::strerror(why);
    } else if (::ftruncate(fd_, end_) != 0) {
        error = std::string("a row could not be written (") + std::strerror(why) +
                ") and could not be taken back: " + std::strerror(errno);
    } else {
        error = std::string("a row could not be written and was taken back: ") + std::strerror(why);
    }
    errno = why;
    return false;
}
