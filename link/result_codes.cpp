#include "link/result_codes.h"

#include <cstdio>

const char* ResultCodeText(ResultCode code) {
    switch (code) {
    case kErrOpenPort: return "Unable to open serial port";
    case kErrCommState: return "Error accessing CommTimeouts";
    case kErrTimeouts: return "Error setting timeouts";
    case kErrNoConnection: return "Currently no connection";
    case kErrInvalidAddress: return "Attempting to read an invalid address";
    case kErrInvalidCommand: return "Invalid command sent";
    case kErrWrite: return "An error occurred trying to write to the serial port";
    case kErrRead: return "An error occurred trying to read from the serial port";
    case kErrTimedOut: return "Timed out trying to read a response message";
    case kErrInvalidReply: return "Invalid response message received from unit";
    case kErrBadChecksum: return "Bad checksum in response message";
    case kErrLogExists: return "Log file already exists";
    case kErrFileAccess: return "File access error";
    case kErrAlreadyConnected: return "Already connected";
    default: return nullptr;
    }
}

std::string ResultCodeMessage(ResultCode code) {
    if (const char* text = ResultCodeText(code)) return text;
    if (code == kErrNoEtx) return "No end of message in response";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%08x", unsigned(code));
    return buffer;
}
