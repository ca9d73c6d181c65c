#include "link/frame.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

uint8_t ComputeChecksum(const uint8_t* bytes, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = uint8_t(sum + bytes[i]);
    return uint8_t(sum | 0x80);
}

bool BuildRequestFrame(const std::string& text, std::string& frame) {
    std::string body = text;
    if (body.empty() || uint8_t(body[0]) != kStx) body.insert(body.begin(), char(kStx));
    if (body.size() - 1 > kMaxRequestText) return false;
    const uint8_t sum = ComputeChecksum(reinterpret_cast<const uint8_t*>(body.data()) + 1, body.size() - 1);
    body.push_back(char(sum));
    body.push_back(char(kEtx));
    frame = std::move(body);
    return true;
}

bool IsBulkRead(const std::string& frame) {
    return frame.size() >= 10 && frame.compare(5, 5, "rgrea") == 0;
}

ResultCode AcceptReply(const uint8_t* received, size_t length, std::string& kept, ParsedReply& out) {
    kept.clear();
    if (received == nullptr || length == 0) return kErrNoEtx;
    // The received bytes are a zero-terminated text.
    const size_t textLength = strnlen(reinterpret_cast<const char*>(received), length);
    const char* text = reinterpret_cast<const char*>(received);
    const char* etx = static_cast<const char*>(std::memchr(text, kEtx, textLength));
    if (!etx) return kErrNoEtx;
    kept.assign(text, size_t(etx - text) + 1);

    const size_t stx = kept.find(char(kStx));
    if (stx == std::string::npos) return kErrInvalidReply;
    const std::string frame = kept.substr(stx);
    if (frame.size() < 7) return kErrInvalidReply;
    const char status = frame[5];
    if (status != '1' && status != 'E') return kErrInvalidReply;
    // Checksum over offsets 1 .. len-3, compared with the byte before the ETX.
    const uint8_t sum = ComputeChecksum(reinterpret_cast<const uint8_t*>(frame.data()) + 1, frame.size() - 3);
    if (sum != uint8_t(frame[frame.size() - 2])) return kErrBadChecksum;

    out.status = status;
    const size_t semi = frame.find(';', 6);
    out.data = semi == std::string::npos ? std::string() : frame.substr(6, semi - 6);
    return kResultOk;
}

bool ParseUnitAddress(const std::string& data, int& address) {
    if (data.empty() || data.size() > 4) return false;
    int value = 0;
    for (const char c : data) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    address = value;
    return true;
}

std::string WrapEnvelope(const std::string& frame) {
    std::string env;
    env.push_back(char(uint8_t(frame.size())));
    env += frame;
    while (env.size() % 8 != 0) env.push_back(char(0xFF));
    return env;
}

std::string FormatRequest(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}
