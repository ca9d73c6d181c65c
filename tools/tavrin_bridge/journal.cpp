#include "tools/tavrin_bridge/journal.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

bool StderrIsJournal() {
    static const bool journal = [] {
        const char* stream = std::getenv("JOURNAL_STREAM");
        struct stat st {};
        if (!stream || ::fstat(2, &st) != 0) return false;
        unsigned long long dev = 0, inode = 0;
        char end = 0;
        if (std::sscanf(stream, "%llu:%llu%c", &dev, &inode, &end) != 2) return false;
        return dev == static_cast<unsigned long long>(st.st_dev) && inode == static_cast<unsigned long long>(st.st_ino);
    }();
    return journal;
}

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
}
