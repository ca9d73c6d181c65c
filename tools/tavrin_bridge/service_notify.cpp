#include "tools/tavrin_bridge/service_notify.h"

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tools/tavrin_bridge/journal.h"

void NotifyReady() { sd_notify(0, "READY=1"); }

void NotifyStatus(const std::string& status) { sd_notify(0, ("STATUS=" + status).c_str()); }

void NotifyWatchdog() { sd_notify(0, "WATCHDOG=1"); }

void NotifyStopping() { sd_notify(0, "STOPPING=1\nSTATUS=stopping"); }

std::chrono::microseconds WatchdogPingInterval() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::chrono::microseconds(0);
    return std::chrono::microseconds(usec / 2);
}

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
