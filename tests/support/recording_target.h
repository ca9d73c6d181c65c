// A window as the core sees it: records every message posted or sent to it,
// from any thread, and can be waited on.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "link/messages.h"

namespace testsupport {

struct Posted {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    const ParamEntry* row = nullptr;   // the row of a row message
    bool sent = false;                 // SendMsg rather than PostMsg
};

class RecordingTarget : public IMessageTarget {
public:
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override { Record({msg, wParam, lParam}); }
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) override {
        Record({msg, wParam, 0, row});
    }
    bool WindowExists() const override { return exists.load(); }

    void Record(const Posted& p);
    // Everything received, in order.
    std::vector<Posted> Messages() const;
    // The messages numbered `msg`, in order.
    std::vector<Posted> Of(uint32_t msg) const;
    int Count(uint32_t msg) const;
    void Clear();
    // Waits (up to `limit`) until `msg` has been received `count` times in all.
    bool WaitFor(uint32_t msg, int count, std::chrono::milliseconds limit);

    std::atomic<bool> exists{true};
    // Called for every message, under the recorder's lock, on the poster's thread.
    std::function<void(const Posted&)> onPost;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Posted> posted_;
};

}  // namespace testsupport
