// The guard for the link's two recursive locks (CFerritRemoteControl::
// LinkMutex and PollGate; the poll gate is always taken before the link lock).
#pragma once
#include <mutex>

using LinkGuard = std::lock_guard<std::recursive_mutex>;
