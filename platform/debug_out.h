// Diagnostic lines ("...\r\n") for the developer; they have no other effect.
// By default each line goes to standard error; tests can capture them.
#pragma once
#include <functional>
#include <string>

void DebugOut(const char* format, ...) __attribute__((format(printf, 1, 2)));

using DebugSink = std::function<void(const std::string& line)>;
// Replaces the destination of debug lines; an empty sink restores standard error.
void SetDebugSink(DebugSink sink);
