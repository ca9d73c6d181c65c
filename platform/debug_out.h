// Diagnostic lines ("...\r\n") for the developer; they have no other effect.
// By default each line goes to the system's place for them (SystemDebugLine);
// tests can capture them.
#pragma once
#include <functional>
#include <string>

void DebugOut(const char* format, ...) __attribute__((format(printf, 1, 2)));

using DebugSink = std::function<void(const std::string& line)>;
// Replaces the destination of debug lines; an empty sink restores the default.
void SetDebugSink(DebugSink sink);
