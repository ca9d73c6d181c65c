#include "tools/tavrinctl/checked_output.h"

#include <cerrno>

#include "platform/std_streams.h"

CheckedOutput::CheckedOutput() {
    stream_ = OpenCheckedStdout(&error_);
    own_ = stream_ != nullptr;
    if (!own_) stream_ = stdout;
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
    const int closed = CloseStdoutDescriptor();
    if (closed != 0 && error_ == 0) error_ = closed;
    return error_;
}
