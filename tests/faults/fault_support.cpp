#include "faults/fault_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

std::chrono::microseconds ProcessCpuTime() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto us = [](const timeval& t) { return int64_t(t.tv_sec) * 1000000 + t.tv_usec; };
    return std::chrono::microseconds(us(usage.ru_utime) + us(usage.ru_stime));
}

