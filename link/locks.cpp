#include "link/locks.h"

std::recursive_mutex LinkLock;
std::recursive_mutex PollGateLock;
