#include "link_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "link/frame.h"
#include "link/shared_key.h"
#include "platform/debug_out.h"
#include "support/loopback.h"

namespace linktest {

namespace {

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ReplyFrame(const std::string& textAfterStx) {
    std::string frame = "\x02" + textAfterStx;
    frame.push_back(char(ComputeChecksum(reinterpret_cast<const uint8_t*>(textAfterStx.data()), textAfterStx.size())));
    frame.push_back('\x03');
    return frame;
}

DebugCapture::DebugCapture() {
    SetDebugSink([this](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    });
}

DebugCapture::~DebugCapture() { SetDebugSink(nullptr); }

std::vector<std::string> DebugCapture::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool DebugCapture::Has(const std::string& line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& l : lines_) {
        if (l == line) return true;
    }
    return false;
}

// --- pseudo-terminal unit ------------------------------------------------------

PtyUnit::PtyUnit() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("no pty name");
    slave_ = name;
    thread_ = std::thread([this] { Run(); });
}

PtyUnit::~PtyUnit() {
    stop_ = true;
    thread_.join();
    if (master_ >= 0) ::close(master_);
}

void PtyUnit::PushHangUp() {
    std::lock_guard<std::mutex> lock(mutex_);
    hangUpNext_ = true;
}

void PtyUnit::LinkAsComPort(const std::string& programFolder, int index) const {
    const std::string ports = programFolder + "/ports";
    mkdir(ports.c_str(), 0755);
    const std::string link = ports + "/COM" + std::to_string(index + 1);
    unlink(link.c_str());
    if (symlink(slave_.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
}

void PtyUnit::Push(const std::string& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(reply);
}

void PtyUnit::PushSilence(int count) {
    for (int i = 0; i < count; ++i) Push(std::string());
}

std::vector<std::string> PtyUnit::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void PtyUnit::Run() {
    std::string pending;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        const int r = poll(&p, 1, 10);
        if (r <= 0) continue;
        if (!(p.revents & POLLIN)) {
            // No slave open (yet or any more): nothing to read.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        char buffer[512];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pending.append(buffer, size_t(n));
        size_t etx;
        while ((etx = pending.find('\x03')) != std::string::npos) {
            std::string request = pending.substr(0, etx + 1);
            pending.erase(0, etx + 1);
            std::string reply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
                if (hangUpNext_) {
                    ::close(master_);
                    master_ = -1;
                    return;
                }
                if (!script_.empty()) {
                    reply = script_.front();
                    script_.pop_front();
                }
            }
            if (!reply.empty()) WriteAll(master_, reply);
        }
    }
}

// --- TCP unit ----------------------------------------------------------------

std::string Encipher(const Blowfish& cipher, const std::string& plain) {
    std::string out = plain;
    cipher.EncipherBlocks(reinterpret_cast<uint8_t*>(out.data()), out.size());
    return out;
}

TcpUnit::TcpUnit() : cipher_(LinkKey(), kLinkKeyLength) {
    for (int attempt = 0; attempt < 50 && listener_ < 0; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(9999);
        const std::string address = testsupport::RandomLoopbackAddress();
        inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd, 8) == 0) {
            listener_ = fd;
            address_ = address;
        } else {
            ::close(fd);
        }
    }
    if (listener_ < 0) throw std::runtime_error("no loopback listener");
    thread_ = std::thread([this] { Run(); });
}

TcpUnit::~TcpUnit() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void TcpUnit::Push(const TcpStep& step) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(step);
}

void TcpUnit::ReleaseHeld() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (heldFd_ >= 0) WriteAll(heldFd_, held_);
    held_.clear();
}

std::vector<std::string> TcpUnit::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::string> TcpUnit::Envelopes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return envelopes_;
}

bool TcpUnit::WaitForRequests(size_t count) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return requests_.size() >= count; });
}

void TcpUnit::Run() {
    std::map<int, std::string> connections;   // fd -> bytes not yet handled
    while (!stop_) {
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (auto& c : connections) fds.push_back({c.first, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 10) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                connections[fd];
                ++accepted_;
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const int fd = fds[i].fd;
            char buffer[512];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0 || !Serve(fd, connections[fd].append(buffer, size_t(n)))) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (heldFd_ == fd) heldFd_ = -1;
                }
                ::close(fd);
                connections.erase(fd);
                ++closed_;
            }
        }
    }
    for (auto& c : connections) ::close(c.first);
}

bool TcpUnit::Serve(int fd, std::string& pending) {
    while (pending.size() >= 8) {
        uint8_t first[8];
        std::memcpy(first, pending.data(), 8);
        cipher_.DecipherBlocks(first, 8);
        const size_t total = (1 + size_t(first[0]) + 7) / 8 * 8;
        if (pending.size() < total) return true;
        std::string envelope = pending.substr(0, total);
        pending.erase(0, total);
        std::string plain = envelope;
        cipher_.DecipherBlocks(reinterpret_cast<uint8_t*>(plain.data()), plain.size());
        TcpStep step;
        step.kind = TcpStep::Silence;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            envelopes_.push_back(envelope);
            requests_.push_back(plain.substr(1, uint8_t(plain[0])));
            if (!script_.empty()) {
                step = script_.front();
                script_.pop_front();
            }
        }
        changed_.notify_all();
        switch (step.kind) {
        case TcpStep::Silence: break;
        case TcpStep::Close: return false;
        case TcpStep::AnswerThenClose: WriteAll(fd, Encipher(cipher_, WrapEnvelope(step.reply))); return false;
        case TcpStep::Answer: WriteAll(fd, Encipher(cipher_, WrapEnvelope(step.reply))); break;
        case TcpStep::SplitHold: {
            const std::string wire = Encipher(cipher_, WrapEnvelope(step.reply));
            WriteAll(fd, wire.substr(0, step.firstSegment));
            std::lock_guard<std::mutex> lock(mutex_);
            held_ = wire.substr(step.firstSegment);
            heldFd_ = fd;
            break;
        }
        }
    }
    return true;
}

}  // namespace linktest
