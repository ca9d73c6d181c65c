// Descriptors 0, 1 and 2 as a program finds them at start. A program started
// with one of them closed would hand that number to the first file, socket or
// serial port it opens, and its own output would then go there (to the unit's
// line, a client's socket). Every program calls this first thing in main().
#pragma once
#include <cstdio>

// Opens /dev/null on each of descriptors 0 to 2 that is closed; false when
// that cannot be done (the program should then stop).
bool OpenMissingStandardStreams();

// A stream onto standard output (descriptor 1) that leaves the errno of its
// first failed write in `*error` (Linux: a stream of its own over the
// descriptor; Windows: nullptr, and the caller keeps stdout, whose failures
// ferror reports). The caller closes it.
FILE* OpenCheckedStdout(int* error);
// Closes descriptor 1: 0, or the errno of a failed close (a descriptor that
// was never open has nothing to lose and counts as closed).
int CloseStdoutDescriptor();
// Why a window program could not show its windows here, or "" when it can:
// on Linux without DISPLAY, WAYLAND_DISPLAY or a Qt platform named in
// QT_QPA_PLATFORM; never on Windows.
const char* MissingDisplay();
// Whether `stream` is a terminal (a console window).
bool IsTerminal(FILE* stream);

// Where a debug line goes when no sink is set: standard error on Linux, the
// debugger's output (OutputDebugString) on Windows.
void SystemDebugLine(const char* line);
