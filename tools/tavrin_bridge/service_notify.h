// What the bridge tells systemd (a Type=notify service): ready, the unit's
// state in words, the watchdog's pings, stopping. Each does nothing when the
// bridge was not started by systemd (no NOTIFY_SOCKET).
#pragma once
#include <chrono>
#include <string>

void NotifyReady();
void NotifyStatus(const std::string& status);
void NotifyWatchdog();
void NotifyStopping();
// How often the watchdog wants a ping: half of WatchdogSec (WATCHDOG_USEC,
// for this process); zero when there is no watchdog.
std::chrono::microseconds WatchdogPingInterval();
