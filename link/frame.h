// The request and reply frames: STX, text, checksum, ETX; and the TCP envelope.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/result_codes.h"

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr size_t kMaxFrameLength = 247;       // STX to ETX inclusive
inline constexpr size_t kMaxRequestText = 244;       // caller's text after the STX
inline constexpr size_t kMaxSerialReply = 255;
inline constexpr size_t kReceiveBufferSize = 256;
inline constexpr int kAnyUnitAddress = 9999;

// A byte that would break a request's frame or its fields: STX, ETX, ';', NUL.
// Texts from the operator or from a file that hold one are refused, never sent.
inline bool UnsafeRequestByte(char c) {
    return c == static_cast<char>(kStx) || c == static_cast<char>(kEtx) || c == ';' || c == '\0';
}
inline bool HasUnsafeRequestByte(std::string_view text) {
    for (char c : text)
        if (UnsafeRequestByte(c)) return true;
    return false;
}

// Sum of the bytes modulo 256 with bit 7 set.
uint8_t ComputeChecksum(const uint8_t* bytes, size_t length);

// Puts STX in front of `text` unless it already starts with one, appends the
// checksum and ETX. Returns false (frame untouched) when the text after the STX
// is longer than a frame can carry.
bool BuildRequestFrame(const std::string& text, std::string& frame);

// True when frame offsets 5..9 read "rgrea".
bool IsBulkRead(const std::string& frame);

struct ParsedReply {
    int status = 0;       // '1' or 'E'
    std::string data;     // up to the first ';' after the status
};

// Accepts a received text by the reply rules. `received` is handled as a
// zero-terminated text. On return `kept` holds the text up to and including the
// first ETX (empty when there is none): the link's last-reply copy.
ResultCode AcceptReply(const uint8_t* received, size_t length, std::string& kept, ParsedReply& out);

// The unit's address as it reports it (reply data of "9999rgadd;;"): one to
// four decimal digits, 0 to 9999. Anything else is no address a frame can carry.
bool ParseUnitAddress(const std::string& data, int& address);

// TCP envelope: length byte, frame, 0xFF padding to a multiple of 8.
std::string WrapEnvelope(const std::string& frame);

// Formats a text the way the protocol's printf templates do, e.g. "%c%04dr1loc;;".
std::string FormatRequest(const char* format, ...) __attribute__((format(printf, 1, 2)));
