// Time for the link and the waiting service for every fixed wait of the program.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Monotonic milliseconds (the "processor clock" of reply timing).
uint64_t TickMs();

// Asks the system to wake the calling thread as close to its time as it can
// (a timer slack of 1 ns where there is one; nothing elsewhere).
void AskPreciseWakeUps();

struct TimeOfDay {
    int hours, minutes, seconds;
};
TimeOfDay UtcTimeOfDay();

// Wall-clock milliseconds since 1970-01-01 UTC (the time stamps of samples and events).
int64_t WallClockMs();
// "2026-12-08T21:43:05.123Z": ISO 8601, UTC, milliseconds; never depends on the locale.
std::string FormatUtcMs(int64_t wallClockMs);

// Fixed waits (7,000 ms after gudm/ddef, 1,000 ms after dloa) go through the
// installed waiter. The GUI installs one that keeps its windows painted; tests
// install one that records the durations and returns at once. Without one the
// calling thread sleeps.
using Waiter = std::function<void(uint32_t ms)>;
void SetWaiter(Waiter waiter);
void FixedWait(uint32_t ms);

// A stop flag that a worker's pause can wait on: Set wakes every pause at once.
class StopFlag {
public:
    void Set();
    void Clear();
    bool IsSet() const { return flag_.load(); }
    // Sleeps up to `ms`; returns true when the flag is set (possibly early).
    bool PauseFor(uint32_t ms);

private:
    std::atomic<bool> flag_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
};
