// Windows: Ctrl+C, Ctrl+Break and the console's close as a readable socket,
// written by the console control handler (SetConsoleCtrlHandler).
#include <winsock2.h>
#include <windows.h>

#include <csignal>

#include "platform/net.h"
#include "platform/stop_signals.h"

namespace {

SocketHandle g_writeEnd = kNoSocket;

BOOL WINAPI OnConsoleControl(DWORD event) {
    const char byte = char(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    // A full socket already holds a stop request: nothing is lost.
    ::send(SOCKET(g_writeEnd), &byte, 1, 0);
    // Returning lets the program close on its own; for a console closing,
    // Windows ends the process after a few seconds all the same.
    return TRUE;
}

}  // namespace

int StopSignalDescriptor() {
    static const int readEnd = [] {
        SocketHandle ends[2];
        if (!MakeSocketPair(ends)) return -1;
        g_writeEnd = ends[1];
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
        // Socket handles fit in 32 bits, as Windows keeps them for 32-bit programs.
        return int(ends[0]);
    }();
    return readEnd;
}

int TakeStopSignal(int descriptor) {
    char bytes[16];
    int first = 0;
    for (;;) {
        const int n = ::recv(SOCKET(unsigned(descriptor)), bytes, sizeof bytes, 0);
        if (n <= 0) break;
        if (first == 0) first = bytes[0];
    }
    return first;
}

void IgnoreBrokenPipes() {}

bool CatchHangupSignal() { return true; }
bool WaitHangupSignal() { return false; }
void EndHangupWait() {}

SignalWords ProgramSignalWords() { return {"Ctrl+C, Ctrl+Break or closing the console", ""}; }
