// The COM port presence check and its replacement, the same on every system.
#include <mutex>

#include "platform/serial_port.h"

namespace {
std::mutex g_probeMutex;
ComPortProbe g_probe;
}  // namespace

void SetComPortProbe(ComPortProbe probe) {
    std::lock_guard<std::mutex> lock(g_probeMutex);
    g_probe = std::move(probe);
}

bool ComPortPresent(int index) {
    ComPortProbe probe;
    {
        std::lock_guard<std::mutex> lock(g_probeMutex);
        probe = g_probe;
    }
    return probe ? probe(index) : SystemComPortPresent(index);
}
