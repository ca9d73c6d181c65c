// SIGTERM and SIGINT as a readable descriptor, for a program with an event
// loop: it closes as its operator's own close would, instead of dying where it
// stands.
#pragma once

// Installs handlers for SIGTERM and SIGINT that write a byte into a pipe and
// returns the pipe's read end (non-blocking), or -1 when the pipe cannot be
// made (the signals then keep their default). Once per process.
int StopSignalDescriptor();

// Reads what the handlers wrote; the signal number of the first, or 0.
int TakeStopSignal(int descriptor);

// Writes to a connection its peer has closed fail (EPIPE) instead of ending
// the program (Linux: SIGPIPE ignored; Windows has no such signal).
void IgnoreBrokenPipes();

// SIGHUP (Linux) for a thread that waits for it: CatchHangupSignal installs
// the handler (once per process; false when it cannot), WaitHangupSignal
// waits for the next one (true) or for EndHangupWait (false), and
// EndHangupWait, from another thread, ignores SIGHUP from then on and ends
// the wait. Windows has no hang-up signal: WaitHangupSignal returns false at once.
bool CatchHangupSignal();
bool WaitHangupSignal();
void EndHangupWait();

// The operator's ways to stop the program and to have it reopen its files, in
// words for help texts: "SIGTERM or SIGINT" and "SIGHUP" on Linux; on Windows
// "Ctrl+C, Ctrl+Break or closing the console" and "" (no such way).
struct SignalWords {
    const char* stop;
    const char* reopen;
};
SignalWords ProgramSignalWords();
