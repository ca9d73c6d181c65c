// A build without systemd (TAVRIN_BRIDGE_SYSTEMD off, Windows): nothing is
// told, there is no watchdog, and standard error is never the journal.
#include "tools/tavrin_bridge/journal.h"
#include "tools/tavrin_bridge/service_notify.h"

void NotifyReady() {}
void NotifyStatus(const std::string&) {}
void NotifyWatchdog() {}
void NotifyStopping() {}
std::chrono::microseconds WatchdogPingInterval() { return std::chrono::microseconds(0); }
bool StderrIsJournal() { return false; }
