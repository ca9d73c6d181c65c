#include "tools/tavrin_bridge/journal.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void Say(Priority priority, const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    // Each line of the text starts with the priority; the first also names the bridge.
    const std::string level = StderrIsJournal() ? "<" + std::to_string(static_cast<int>(priority)) + ">" : "";
    std::string out = level + "tavrin_bridge: ";
    for (const char* p = buffer; *p != 0; ++p) {
        out += *p;
        if (*p == '\n' && p[1] != 0) out += level;
    }
    if (out.back() != '\n') out += '\n';
    std::fputs(out.c_str(), stderr);
    // Windows' C library buffers standard error when it is a file or a pipe.
    std::fflush(stderr);
}
