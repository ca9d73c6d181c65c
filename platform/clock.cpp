#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

uint64_t TickMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TimeOfDay UtcTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return {utc.tm_hour, utc.tm_min, utc.tm_sec};
}

int64_t WallClockMs() {
    using namespace std::chrono;
    return int64_t(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

std::string FormatUtcMs(int64_t wallClockMs) {
    // Floor division, so that times before 1970 keep a millisecond part in 0..999.
    int64_t seconds = wallClockMs / 1000;
    int64_t millis = wallClockMs % 1000;
    if (millis < 0) {
        millis += 1000;
        seconds -= 1;
    }
    const std::time_t whole = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&whole, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return text;
}

namespace {
std::mutex g_waiterMutex;
Waiter g_waiter;
}  // namespace

void SetWaiter(Waiter waiter) {
    std::lock_guard<std::mutex> lock(g_waiterMutex);
    g_waiter = std::move(waiter);
}

void FixedWait(uint32_t ms) {
    Waiter waiter;
    {
        std::lock_guard<std::mutex> lock(g_waiterMutex);
        waiter = g_waiter;
    }
    if (waiter) {
        waiter(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void StopFlag::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        flag_ = true;
    }
    cv_.notify_all();
}

void StopFlag::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    flag_ = false;
}

bool StopFlag::PauseFor(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return flag_.load(); });
    return flag_.load();
}
