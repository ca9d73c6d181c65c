#include "support/recording_target.h"

namespace testsupport {

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

std::vector<Posted> RecordingTarget::Of(Ev ev) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Posted> out;
    for (const Posted& p : posted_)
        if (p.ev == ev) out.push_back(p);
    return out;
}

int RecordingTarget::Count(Ev ev) const { return int(Of(ev).size()); }

void RecordingTarget::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.clear();
}

bool RecordingTarget::WaitFor(Ev ev, int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        int n = 0;
        for (const Posted& p : posted_) n += p.ev == ev;
        return n >= count;
    });
}

}  // namespace testsupport
