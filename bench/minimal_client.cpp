#include "bench/minimal_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "link/shared_key.h"

MinimalTcpClient::MinimalTcpClient() : cipher_(LinkKey(), kLinkKeyLength) {}

MinimalTcpClient::~MinimalTcpClient() { Close(); }

bool MinimalTcpClient::Connect(const std::string& address, uint16_t port) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    timeval timeout{1, 500000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 ||
        ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        Close();
        return false;
    }
    return true;
}

void MinimalTcpClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

ResultCode MinimalTcpClient::Exchange(const std::string& text, ParsedReply& reply) {
    std::string frame;
    if (!BuildRequestFrame(text, frame)) return kErrInvalidCommand;
    std::string envelope = WrapEnvelope(frame);
    cipher_.EncipherBlocks(reinterpret_cast<uint8_t*>(envelope.data()), envelope.size());
    if (::send(fd_, envelope.data(), envelope.size(), MSG_NOSIGNAL) != ssize_t(envelope.size())) return kErrWrite;

    uint8_t buffer[kReceiveBufferSize + 8] = {};
    const ssize_t n = ::recv(fd_, buffer, kReceiveBufferSize, 0);
    if (n <= 0) return kErrRead;
    cipher_.DecipherBlocks(buffer, (size_t(n) + 7) / 8 * 8);
    std::string kept;
    return AcceptReply(buffer, size_t(n), kept, reply);
}

MinimalSerialClient::~MinimalSerialClient() { Close(); }

bool MinimalSerialClient::Open(const std::string& devicePath) {
    Close();
    fd_ = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tcsetattr(fd_, TCSANOW, &tio);
    return true;
}

void MinimalSerialClient::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

ResultCode MinimalSerialClient::Exchange(const std::string& text, ParsedReply& reply) {
    std::string frame;
    if (!BuildRequestFrame(text, frame)) return kErrInvalidCommand;
    tcflush(fd_, TCIFLUSH);
    if (::write(fd_, frame.data(), frame.size()) != ssize_t(frame.size())) return kErrWrite;

    uint8_t buffer[kReceiveBufferSize + 1] = {};
    size_t got = 0;
    while (got < kReceiveBufferSize) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 2500) <= 0) return got ? kErrNoEtx : kErrTimedOut;
        const ssize_t n = ::read(fd_, buffer + got, bytewise_ ? 1 : kReceiveBufferSize - got);
        if (n <= 0) return kErrRead;
        const void* etx = std::memchr(buffer + got, kEtx, size_t(n));
        got += size_t(n);
        if (etx) break;
    }
    std::string kept;
    return AcceptReply(buffer, got, kept, reply);
}
