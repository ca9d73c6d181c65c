#include "platform/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

int g_writeEnd = -1;

void OnStopSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a stop request: nothing is lost.
    [[maybe_unused]] const ssize_t n = ::write(g_writeEnd, &byte, 1);
    errno = saved;
}

}  // namespace

int StopSignalDescriptor() {
    static const int readEnd = [] {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
        g_writeEnd = ends[1];
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
        return ends[0];
    }();
    return readEnd;
}

int TakeStopSignal(int descriptor) {
    unsigned char bytes[16];
    int first = 0;
    for (;;) {
        const ssize_t n = ::read(descriptor, bytes, sizeof bytes);
        if (n <= 0) break;
        if (first == 0) first = bytes[0];
    }
    return first;
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

namespace {

// The hang-up handler's pipe: 'h' a SIGHUP, 's' the end of the wait.
int g_hangup[2] = {-1, -1};

void OnHangupSignal(int) {
    const int saved = errno;
    const char byte = 'h';
    [[maybe_unused]] const ssize_t n = ::write(g_hangup[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool CatchHangupSignal() {
    static const bool caught = [] {
        if (::pipe2(g_hangup, O_CLOEXEC) != 0) return false;
        struct sigaction action {};
        action.sa_handler = OnHangupSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGHUP, &action, nullptr);
        return true;
    }();
    return caught;
}

bool WaitHangupSignal() {
    for (char byte = 0;;) {
        const ssize_t n = ::read(g_hangup[0], &byte, 1);
        if (n == 1) {
            if (byte == 's') return false;
            if (byte == 'h') return true;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
}

void EndHangupWait() {
    ::signal(SIGHUP, SIG_IGN);
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_hangup[1], &byte, 1);
}

SignalWords ProgramSignalWords() { return {"SIGTERM or SIGINT", "SIGHUP"}; }
