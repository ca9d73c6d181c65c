#include "support/recording_target.h"

namespace testsupport {

intptr_t RecordingTarget::SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    Record({msg, wParam, lParam, nullptr, true});
    return 0;
}

void RecordingTarget::Record(const Posted& p) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(p);
        if (onPost) onPost(p);
    }
    changed_.notify_all();
}

std::vector<Posted> RecordingTarget::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return posted_;
}

std::vector<Posted> RecordingTarget::Of(uint32_t msg) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Posted> out;
    for (const Posted& p : posted_)
        if (p.msg == msg) out.push_back(p);
    return out;
}

int RecordingTarget::Count(uint32_t msg) const { return int(Of(msg).size()); }

void RecordingTarget::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.clear();
}

bool RecordingTarget::WaitFor(uint32_t msg, int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        int n = 0;
        for (const Posted& p : posted_) n += p.msg == msg;
        return n >= count;
    });
}

}  // namespace testsupport
