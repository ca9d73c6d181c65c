#include "platform/std_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

ssize_t WriteToStdout(void* cookie, const char* bytes, size_t size) {
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

bool OpenMissingStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, which is `fd` itself: every lower
        // one is open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd) {
            if (opened >= 0) ::close(opened);
            return false;
        }
    }
    return true;
}

FILE* OpenCheckedStdout(int* error) {
    const cookie_io_functions_t functions{nullptr, WriteToStdout, nullptr, nullptr};
    FILE* stream = fopencookie(error, "w", functions);
    // As stdout would be: line by line on a terminal, in blocks otherwise.
    if (stream && isatty(STDOUT_FILENO)) std::setvbuf(stream, nullptr, _IOLBF, BUFSIZ);
    return stream;
}

int CloseStdoutDescriptor() { return ::close(STDOUT_FILENO) != 0 && errno != EBADF ? errno : 0; }

const char* MissingDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if ((platform && *platform) || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) return "";
    return "no display. Set DISPLAY to an X server, or run it under a virtual one, e.g. 'xvfb-run ./run.sh'.";
}

bool IsTerminal(FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

void SystemDebugLine(const char* line) { std::fputs(line, stderr); }
