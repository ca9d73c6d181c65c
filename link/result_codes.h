// Result of every link operation: 0 success, failures have bit 31 set.
#pragma once
#include <cstdint>
#include <string>

using ResultCode = uint32_t;

inline constexpr ResultCode kResultOk = 0;
inline constexpr ResultCode kErrOpenPort = 0x80000001;
inline constexpr ResultCode kErrCommState = 0x80000002;
inline constexpr ResultCode kErrTimeouts = 0x80000003;
inline constexpr ResultCode kErrNoConnection = 0x80000004;
inline constexpr ResultCode kErrInvalidAddress = 0x80000005;
inline constexpr ResultCode kErrInvalidCommand = 0x80000006;
inline constexpr ResultCode kErrWrite = 0x80000007;
inline constexpr ResultCode kErrRead = 0x80000008;
inline constexpr ResultCode kErrTimedOut = 0x80000009;
inline constexpr ResultCode kErrInvalidReply = 0x8000000A;
inline constexpr ResultCode kErrBadChecksum = 0x8000000B;
inline constexpr ResultCode kErrLogExists = 0x8000000C;
inline constexpr ResultCode kErrFileAccess = 0x8000000D;
inline constexpr ResultCode kErrAlreadyConnected = 0x8000000E;
inline constexpr ResultCode kErrNoEtx = 0x8000000F;

// The fixed text of a code; nullptr for 0x8000000F and codes outside the table.
const char* ResultCodeText(ResultCode code);

// The operator's text for any code: the fixed text, "No end of message in
// response" for 0x8000000F, else "Unknown error 0x%08x".
std::string ResultCodeMessage(ResultCode code);

// The unit gave no reply at all, or there was no line to ask it on (timed
// out, a failed read or write, no connection): the further exchanges of a
// sequence would fail the same way, each after its time-out.
inline bool MeansNoReply(ResultCode code) {
    return code == kErrTimedOut || code == kErrRead || code == kErrWrite || code == kErrNoConnection;
}
