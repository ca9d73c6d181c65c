// Windows: a program without a console has no standard handles, and the CRT
// then writes nowhere; nothing is handed out in their place by mistake.
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/std_streams.h"
#include "wide_text.h"

bool OpenMissingStandardStreams() { return true; }

FILE* OpenCheckedStdout(int*) { return nullptr; }

int CloseStdoutDescriptor() { return _close(1) != 0 && errno != EBADF ? errno : 0; }

const char* MissingDisplay() { return ""; }

bool IsTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void SystemDebugLine(const char* line) { OutputDebugStringW(Wide(line).c_str()); }
