#include "tools/tavrin_bridge/dated_log.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/clock.h"
#include "platform/files.h"
#include "tools/tavrin_bridge/journal.h"

DatedLog::DatedLog(std::string path, uint64_t maxBytes) : path_(std::move(path)), maxBytes_(maxBytes) {}

DatedLog::~DatedLog() {
    if (file_) std::fclose(file_);
}

bool DatedLog::Open(std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    return OpenHeld(error);
}

bool DatedLog::Reopen(std::string* error) {
    std::lock_guard<std::mutex> guard(lock_);
    reopen_ = !lineStart_;
    if (reopen_) return true;
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return OpenHeld(error);
}

bool DatedLog::OpenHeld(std::string* error) {
    file_ = OpenForAppend(path_);
    if (!file_) {
        if (error) *error = "cannot open the log " + path_ + ": " + ErrorText(errno);
        return false;
    }
    std::fseek(file_, 0, SEEK_END);
    const long at = std::ftell(file_);
    size_ = at > 0 ? uint64_t(at) : 0;
    return true;
}

void DatedLog::Rotate() {
    std::fclose(file_);
    file_ = nullptr;
    // FILE.2 -> FILE.3 (the oldest goes), FILE.1 -> FILE.2, FILE -> FILE.1.
    for (int n = kKeptLogFiles - 1; n >= 1; --n)
        RenamePath(path_ + "." + std::to_string(n), path_ + "." + std::to_string(n + 1));
    RenamePath(path_, path_ + ".1");
    OpenHeld(nullptr);
}

void DatedLog::StartLine() {
    if (std::exchange(reopen_, false)) {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        if (std::string error; !OpenHeld(&error)) Say(Priority::Error, "%s", error.c_str());
    }
    if (file_ && size_ >= maxBytes_) Rotate();
    if (!file_) return;
    // "2026-12-08 21:43:05.123 ": the platform's UTC time stamp, spaced.
    std::string stamp = FormatUtcMs(WallClockMs());
    stamp[stamp.find('T')] = ' ';
    stamp.back() = ' ';
    size_ += std::fwrite(stamp.data(), 1, stamp.size(), file_);
}

std::streamsize DatedLog::xsputn(const char* text, std::streamsize count) {
    std::lock_guard<std::mutex> guard(lock_);
    for (std::streamsize done = 0; done < count;) {
        if (lineStart_) StartLine();
        const char* end = static_cast<const char*>(std::memchr(text + done, '\n', size_t(count - done)));
        const std::streamsize piece = end ? end - (text + done) + 1 : count - done;
        if (file_) size_ += std::fwrite(text + done, 1, size_t(piece), file_);
        lineStart_ = end != nullptr;
        done += piece;
    }
    return count;
}

DatedLog::int_type DatedLog::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
}

int DatedLog::sync() {
    std::lock_guard<std::mutex> guard(lock_);
    if (file_) std::fflush(file_);
    return 0;
}
