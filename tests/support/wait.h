// Waiting for a condition another thread makes true: bounded and generous, a
// guard against hanging, never an assertion on speed.
#pragma once
#include <chrono>
#include <thread>

namespace testsupport {

// Checks every 10 ms for up to 30 s; returns whether `condition` held.
template <typename Condition>
bool WaitUntil(Condition condition) {
    for (int i = 0; i < 3000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

}  // namespace testsupport
