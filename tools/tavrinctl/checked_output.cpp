#include "tools/tavrinctl/checked_output.h"

#include <unistd.h>

#include <cerrno>

namespace {

ssize_t WriteToDescriptor(void* cookie, const char* bytes, size_t size) {
    int& error = *static_cast<int*>(cookie);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error == 0) error = errno;
            return done > 0 ? ssize_t(done) : -1;
        }
        done += size_t(n);
    }
    return ssize_t(done);
}

}  // namespace

CheckedOutput::CheckedOutput() {
    const cookie_io_functions_t functions{nullptr, WriteToDescriptor, nullptr, nullptr};
    stream_ = fopencookie(&error_, "w", functions);
    own_ = stream_ != nullptr;
    if (!own_) {
        stream_ = stdout;
        return;
    }
    // As stdout would be: line by line on a terminal, in blocks otherwise.
    if (isatty(STDOUT_FILENO)) std::setvbuf(stream_, nullptr, _IOLBF, BUFSIZ);
}

CheckedOutput::~CheckedOutput() {
    if (own_ && stream_) std::fclose(stream_);
}

int CheckedOutput::Close() {
    const bool flushed = std::fflush(stream_) == 0 && !std::ferror(stream_);
    if (!flushed && error_ == 0) error_ = errno != 0 ? errno : EIO;
    if (own_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    std::fflush(stdout);
    // A descriptor that was never open has nothing to lose.
    if (::close(STDOUT_FILENO) != 0 && errno != EBADF && error_ == 0) error_ = errno;
    return error_;
}
