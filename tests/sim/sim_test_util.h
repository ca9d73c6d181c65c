// Helpers for talking to the simulated unit the way a program would: over the
// pseudo-terminal and over loopback TCP, with the plain frame and cipher code.
#pragma once
#include "support/loopback.h"
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "link/blowfish.h"
#include "link/frame.h"
#include "link/shared_key.h"
#include "platform/clock.h"
#include "sim/sim_unit.h"
#include "support/frame_text.h"

namespace simtest {

// Generous bound for "the reply arrives": only a broken unit ever reaches it.
inline constexpr int kReplyWaitMs = 5000;

using testsupport::Frame;

inline std::string Reply(int address, char status, const std::string& data) {
    return sim::BuildReplyFrame(address, status, data);
}

// Waits (polling) until `done` holds; false if it never does within the bound.
inline bool WaitFor(const std::function<bool()>& done, int boundMs = kReplyWaitMs) {
    const uint64_t end = TickMs() + uint64_t(boundMs);
    while (!done()) {
        if (TickMs() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

using testsupport::RandomLoopbackAddress;

// Starts a unit on a random loopback address (port 9999 unless given), retrying
// another address if that one is taken.
inline bool StartOnLoopback(sim::SimUnit*& unit, sim::SimOptions options, std::string* error) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        options.tcpAddress = RandomLoopbackAddress();
        unit = new sim::SimUnit(options);
        if (unit->Start(error)) return true;
        delete unit;
        unit = nullptr;
    }
    return false;
}

class SerialClient {
public:
    explicit SerialClient(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) {
            termios t{};
            ::tcgetattr(fd_, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~SerialClient() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool IsOpen() const { return fd_ >= 0; }
    bool Send(const std::string& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    // Reads until an ETX has arrived (or the bound passes); returns what came.
    std::string ReadUntilEtx(int boundMs = kReplyWaitMs) {
        std::string got;
        const uint64_t end = TickMs() + uint64_t(boundMs);
        while (got.find(char(kEtx)) == std::string::npos) {
            const uint64_t now = TickMs();
            if (now >= end) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(end - now)) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) got.append(buf, size_t(n));
        }
        return got;
    }
    // Whatever is waiting right now, without waiting.
    std::string ReadPending() {
        std::string got;
        char buf[256];
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0) got.append(buf, size_t(n));
        return got;
    }
    std::string Exchange(const std::string& text) {
        Send(Frame(text));
        return ReadUntilEtx();
    }

private:
    int fd_ = -1;
};

class TcpClient {
public:
    TcpClient() : cipher_(LinkKey(), kLinkKeyLength) {}
    ~TcpClient() { Close(); }
    bool Connect(const std::string& address, uint16_t port) {
        Close();
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            Close();
            return false;
        }
        return true;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // The enciphered envelope of a request text, as a program sends it.
    std::string Envelope(const std::string& text) {
        std::string env = WrapEnvelope(Frame(text));
        cipher_.EncipherBlocks(reinterpret_cast<uint8_t*>(env.data()), env.size());
        return env;
    }
    bool SendRaw(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    bool Send(const std::string& text) { return SendRaw(Envelope(text)); }
    // One receive call, as the program makes it; "" on time-out, "<closed>" at end of stream.
    std::string ReceiveOnce(int boundMs = kReplyWaitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, boundMs) <= 0) return {};
        char buf[512];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n == 0) return "<closed>";
        if (n < 0) return "<error>";
        return std::string(buf, size_t(n));
    }
    // Deciphers whole blocks in place.
    std::string Decipher(std::string bytes) {
        cipher_.DecipherBlocks(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size() / 8 * 8);
        return bytes;
    }
    // Sends a request and returns the deciphered reply frame (envelope removed).
    std::string Exchange(const std::string& text) {
        if (!Send(text)) return "<send failed>";
        const std::string got = ReceiveOnce();
        if (got.empty() || got[0] == '<') return got;
        const std::string plain = Decipher(got);
        const size_t length = uint8_t(plain[0]);
        return plain.substr(1, length);
    }
    int fd() const { return fd_; }

private:
    Blowfish cipher_;
    int fd_ = -1;
};

}  // namespace simtest
