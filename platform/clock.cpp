#include "platform/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

// The UTC calendar date and time of `seconds` since 1970 (any system: no gmtime_r).
std::tm UtcOf(int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds at{std::chrono::seconds{seconds}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::seconds> time{at - day};
    std::tm utc{};
    utc.tm_year = int(date.year()) - 1900;
    utc.tm_mon = int(unsigned(date.month())) - 1;
    utc.tm_mday = int(unsigned(date.day()));
    utc.tm_hour = int(time.hours().count());
    utc.tm_min = int(time.minutes().count());
    utc.tm_sec = int(time.seconds().count());
    return utc;
}

}  // namespace

uint64_t TickMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TimeOfDay UtcTimeOfDay() {
    const std::tm utc = UtcOf(int64_t(std::time(nullptr)));
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
    const std::tm utc = UtcOf(seconds);
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

void AskPreciseWakeUps() {
#ifdef __linux__
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}
