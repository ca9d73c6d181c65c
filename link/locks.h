// The two process-wide locks. PollGateLock is always taken before LinkLock.
// Both are recursive: the same thread may take them again.
#pragma once
#include <mutex>

extern std::recursive_mutex LinkLock;       // around every exchange (Exchange, ProbeUnit)
extern std::recursive_mutex PollGateLock;   // keeps the poll thread out of a sequence

using LinkGuard = std::lock_guard<std::recursive_mutex>;
