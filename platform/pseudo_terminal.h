// A pseudo-terminal for a simulated serial line (Linux only: on Windows Open
// fails and the line is not offered), and a symbolic link to its far end.
#pragma once
#include <string>

#include "platform/net.h"

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal() { Close(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the near end (non-blocking) and, in raw mode, the far end, kept
    // open so that the program's closing and reopening of the port never
    // shows as a hang-up here. False with `error` set on failure.
    bool Open(std::string& error);
    void Close();
    bool IsOpen() const { return near_ >= 0; }
    // The far end's device path (/dev/pts/N), which the program opens.
    const std::string& FarPath() const { return farPath_; }
    // The near end, for WaitFor.
    SocketHandle Waitable() const { return SocketHandle(near_); }
    // Without waiting: bytes moved, kWouldBlock, or -1 on failure.
    long Read(void* buffer, size_t capacity);
    long Write(const void* bytes, size_t length);

private:
    int near_ = -1;
    int far_ = -1;
    std::string farPath_;
};

// Makes `linkPath` a symbolic link to `target`, replacing a link there (never
// anything else). False with `error` set on failure.
bool PlaceLink(const std::string& linkPath, const std::string& target, std::string& error);
// Removes `linkPath` while it still leads to `target`.
void RemoveLinkTo(const std::string& linkPath, const std::string& target);
