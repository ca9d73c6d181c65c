// The least a client needs for one exchange with the unit: the frame, the TCP
// envelope and the cipher, over its own socket or pseudo-terminal. No retries,
// no log, no locks; it sets the pace the link is measured against.
#pragma once
#include <cstdint>
#include <string>

#include "link/blowfish.h"
#include "link/frame.h"

class MinimalTcpClient {
public:
    MinimalTcpClient();
    ~MinimalTcpClient();
    bool Connect(const std::string& address, uint16_t port);
    void Close();
    // Sends `text` framed, wrapped and enciphered; takes one receive of up to
    // 256 bytes, deciphers and accepts it.
    ResultCode Exchange(const std::string& text, ParsedReply& reply);

private:
    int fd_ = -1;
    Blowfish cipher_;
};

class MinimalSerialClient {
public:
    ~MinimalSerialClient();
    bool Open(const std::string& devicePath);
    void Close();
    // Writes the frame and reads until the first ETX (2,500 ms per silence).
    ResultCode Exchange(const std::string& text, ParsedReply& reply);
    // Reads the reply one byte per poll and read, as a one-byte-per-call
    // serial interface does (to tell the cost of that apart).
    void SetBytewise(bool bytewise) { bytewise_ = bytewise; }

private:
    int fd_ = -1;
    bool bytewise_ = false;
};
