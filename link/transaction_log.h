// Writing the transaction log: plain fragments, hex and character dumps of
// frames (optionally with the data field masked) and time-stamped lines. Every
// function does nothing when `log` is null; write errors are ignored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

void LogPrintf(std::ofstream* log, const char* format, ...) __attribute__((format(printf, 2, 3)));
void LogFlush(std::ofstream* log);
// "HH:MM:SS " (UTC time of day) followed by `text`.
void LogTimeStamped(std::ofstream* log, const char* text);
// Every byte as "%2x "; with `mask` the bytes between a ';' and the next ';'
// and the checksum byte before a closing ETX are written as "** ".
void LogHexDump(std::ofstream* log, const uint8_t* bytes, size_t length, bool mask = false);
// Every byte as itself; with `mask` the masked bytes are written as '*'.
void LogCharDump(std::ofstream* log, const uint8_t* bytes, size_t length, bool mask = false);
void LogBytes(std::ofstream* log, const std::string& bytes);
