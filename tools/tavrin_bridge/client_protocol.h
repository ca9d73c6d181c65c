// What a client of the bridge sends: enciphered envelopes, each holding one
// request frame. Pure functions (bytes in, requests out), so that they can be
// fuzzed and tested without sockets.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/blowfish.h"

// A client that has sent this many envelopes or frames that are none is
// disconnected.
inline constexpr int kMaxBadFrames = 3;

// A request frame as a client sends it: STX, text, checksum, ETX, with no
// STX, ETX or NUL inside and a right checksum. Returns what the link's
// Transact takes for it (STX and text, without checksum and ETX), from which
// Transact builds the very same frame; nothing when it is no request frame.
std::optional<std::string> RequestTextOfFrame(std::string_view frame);

struct ClientBytes {
    std::vector<std::string> requests;   // request texts, in the order they came
    int badFrames = 0;                   // envelopes or frames refused
    size_t used = 0;                     // bytes taken from the front of the input
};

// Reads whole envelopes from the front of `pending`, at most `maxRequests`
// requests. An envelope whose length byte is impossible costs one bad frame
// and its first 8-byte block; an envelope whose frame is no request costs one
// bad frame and the envelope. A partial envelope at the end is left unused.
ClientBytes ReadClientBytes(const Blowfish& cipher, std::string_view pending, size_t maxRequests);

// Key requests (the three key codes written with 'w') are logged with their
// data masked.
bool IsKeyRequest(std::string_view requestText);

// What a request text (STX, four address digits, 'r' or 'w', a four-character
// code, ';', data, ';') asks of the unit. The one place that tells reads from
// everything else: a read-only listener passes Read alone.
enum class RequestKind { Read, Write, Unknown };
// Read: "r<code>;;", no data. Write: "w<code>;<data>;". The code is four
// printable characters. Anything else, a request whose address is no four
// digits included, is Unknown.
RequestKind KindOfRequest(std::string_view requestText);
// The four-character code of a request, for the log: its printable
// characters only ("?" when there is none). Never the data (a key's text).
std::string RequestCode(std::string_view requestText);
// The reply that refuses a request without asking the unit: status 'E',
// the request's address when it has four digits (else "0000"), no data.
std::string RefusalReplyFrame(std::string_view requestText);
