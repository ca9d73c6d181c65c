#include "platform/clock.h"

#include <chrono>
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
