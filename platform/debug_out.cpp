#include "platform/debug_out.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/std_streams.h"

namespace {
std::mutex g_sinkMutex;
DebugSink g_sink;
}  // namespace

void SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

void DebugOut(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    if (g_sink) {
        g_sink(buffer);
    } else {
        SystemDebugLine(buffer);
    }
}
