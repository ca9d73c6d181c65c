#include "faults/fault_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tavrin-faults-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void RecordingWindow::PostMsg(uint32_t msg, uintptr_t, intptr_t) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(msg);
    }
    changed_.notify_all();
}

intptr_t RecordingWindow::SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    PostMsg(msg, wParam, lParam);
    return 0;
}

int RecordingWindow::Count(uint32_t msg) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (uint32_t m : messages_) n += m == msg;
    return n;
}

void RecordingWindow::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
}

bool RecordingWindow::WaitFor(uint32_t msg, int count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        int n = 0;
        for (uint32_t m : messages_) n += m == msg;
        return n >= count;
    });
}

std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& t) { return int64_t(t.tv_sec) * 1000000 + t.tv_usec; };
    return std::chrono::microseconds(us(usage.ru_utime) + us(usage.ru_stime));
}

