#include "link/transaction_log.h"

#include <cstdarg>
#include <cstdio>

#include "link/frame.h"
#include "platform/clock.h"

namespace {

// Masking switches over after every ';': the data field between the first and
// the second ';' is hidden, the separators themselves never are. The checksum
// byte before the ETX is hidden too: it is the sum of the data, and would give
// away about seven bits of it.
template <typename Emit>
void ForEachMasked(const uint8_t* bytes, size_t length, bool mask, Emit emit) {
    bool masking = false;
    const size_t checksumAt = length >= 2 && bytes[length - 1] == kEtx ? length - 2 : length;
    for (size_t i = 0; i < length; ++i) {
        const bool hide = mask && ((masking && bytes[i] != ';') || i == checksumAt);
        emit(bytes[i], hide);
        if (bytes[i] == ';') masking = !masking;
    }
}

}  // namespace

void LogPrintf(std::ofstream* log, const char* format, ...) {
    if (!log) return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n <= 0) return;
    log->write(buffer, std::streamsize(size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1));
}

void LogFlush(std::ofstream* log) {
    if (log) log->flush();
}

void LogTimeStamped(std::ofstream* log, const char* text) {
    if (!log) return;
    const TimeOfDay t = UtcTimeOfDay();
    LogPrintf(log, "%02d:%02d:%02d %s", t.hours, t.minutes, t.seconds, text);
}

void LogHexDump(std::ofstream* log, const uint8_t* bytes, size_t length, bool mask) {
    if (!log) return;
    std::string out;
    out.reserve(length * 3);
    ForEachMasked(bytes, length, mask, [&out](uint8_t b, bool hide) {
        if (hide) {
            out += "** ";
        } else {
            char cell[8];
            std::snprintf(cell, sizeof cell, "%2x ", unsigned(b));
            out += cell;
        }
    });
    log->write(out.data(), std::streamsize(out.size()));
}

void LogCharDump(std::ofstream* log, const uint8_t* bytes, size_t length, bool mask) {
    if (!log) return;
    std::string out;
    out.reserve(length);
    ForEachMasked(bytes, length, mask, [&out](uint8_t b, bool hide) { out.push_back(hide ? '*' : char(b)); });
    log->write(out.data(), std::streamsize(out.size()));
}

void LogBytes(std::ofstream* log, const std::string& bytes) {
    if (log) log->write(bytes.data(), std::streamsize(bytes.size()));
}
