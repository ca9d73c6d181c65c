#include "tools/tavrin_bridge/service_notify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

void NotifyReady() { sd_notify(0, "READY=1"); }

void NotifyStatus(const std::string& status) { sd_notify(0, ("STATUS=" + status).c_str()); }

void NotifyWatchdog() { sd_notify(0, "WATCHDOG=1"); }

void NotifyStopping() { sd_notify(0, "STOPPING=1\nSTATUS=stopping"); }

std::chrono::microseconds WatchdogPingInterval() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::chrono::microseconds(0);
    return std::chrono::microseconds(usec / 2);
}
