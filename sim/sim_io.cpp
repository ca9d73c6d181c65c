#include "sim/sim_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/envelope.h"
#include "link/frame.h"
#include "link/shared_key.h"
#include "platform/clock.h"

namespace sim {
namespace {

constexpr size_t kMaxPendingFrame = 300;
const char kNoise[] = "\x7e\x55\xaa\x20";

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

SimUnit::Io::Io(State& state)
    : state_(state),
      cipher_(LinkKey(), kLinkKeyLength),
      line_(state.options.lineRate, state.options.latencyMs, state.options.thinkMs) {
    linkPath = state.options.ptyLinkPath;
    tcpAddress = state.options.tcpAddress;
    tcpPort = state.options.tcpPort;
}

SimUnit::Io::~Io() { Stop(); }

bool SimUnit::Io::Start(std::string* error) {
    std::string why;
    bool ok = ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) == 0;
    if (!ok) why = Errno("pipe");
    if (ok && state_.options.serial) ok = OpenPty(&why) && PlaceLink(&why);
    if (ok && !tcpAddress.empty()) ok = OpenListener(&why);
    if (!ok) {
        if (error) *error = why;
        Stop();
        return false;
    }
    stop_ = false;
    worker_ = std::thread([this] { Run(); });
    return true;
}

void SimUnit::Io::Stop() {
    stop_ = true;
    Wake();
    if (worker_.joinable()) worker_.join();
    DropClient();
    CloseListener();
    if (linkPlaced_) {
        // Remove the link only while it still points at our terminal.
        char target[512];
        const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == slavePath) ::unlink(linkPath.c_str());
        linkPlaced_ = false;
    }
    CloseFd(slave_);
    CloseFd(master_);
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
}

void SimUnit::Io::Wake() {
    if (wake_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    }
}

bool SimUnit::Io::OpenPty(std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return *error = Errno("posix_openpt"), false;
    char name[256];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0)
        return *error = Errno("pseudo-terminal set-up"), false;
    slavePath = name;
    // Our own slave descriptor keeps the terminal up while the program closes
    // and reopens the port, so the master never sees a hang-up.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) return *error = Errno("open " + slavePath), false;
    termios t{};
    if (::tcgetattr(slave_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

bool SimUnit::Io::PlaceLink(std::string* error) {
    if (linkPath.empty()) return true;
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return *error = linkPath + " exists and is not a symbolic link", false;
    // A new link under a temporary name, renamed over the old one.
    const std::string temp = linkPath + ".new" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(slavePath.c_str(), temp.c_str()) != 0) return *error = Errno("symlink " + temp), false;
    if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
        *error = Errno("rename to " + linkPath);
        ::unlink(temp.c_str());
        return false;
    }
    linkPlaced_ = true;
    return true;
}

bool SimUnit::Io::OpenListener(std::string* error) {
    std::string why;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(tcpPort);
    if (::inet_pton(AF_INET, tcpAddress.c_str(), &addr.sin_addr) != 1) {
        if (error) *error = "not an IPv4 address: " + tcpAddress;
        return false;
    }
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_ < 0) {
        if (error) *error = Errno("socket");
        return false;
    }
    const int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 4) != 0) {
        if (error) *error = Errno("listen on " + tcpAddress + ":" + std::to_string(tcpPort));
        CloseFd(listen_);
        return false;
    }
    // Port 0: the port the system chose is kept, so that a listener reopened
    // after a restart (by the worker thread) binds the same one again.
    socklen_t len = sizeof addr;
    if (tcpPort == 0 && ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        tcpPort = ntohs(addr.sin_port);
    return true;
}

void SimUnit::Io::CloseListener() { CloseFd(listen_); }

void SimUnit::Io::DropClient() {
    if (client_ < 0) return;
    // Unread bytes would turn the close into a reset that can destroy a reply
    // still in flight, so they are read away first.
    char sink[512];
    while (::recv(client_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
    ::shutdown(client_, SHUT_RDWR);
    CloseFd(client_);
    tcpBuf_.clear();
}

bool SimUnit::Io::Pause(uint32_t ms) {
    const uint64_t end = TickMs() + ms;
    while (!stop_) {
        const uint64_t now = TickMs();
        if (now >= end) return true;
        pollfd p{wake_[0], POLLIN, 0};
        if (::poll(&p, 1, int(end - now)) > 0) {
            char sink[64];
            while (::read(wake_[0], sink, sizeof sink) > 0) {
            }
        }
    }
    return false;
}

void SimUnit::Io::Run() {
    // Wake-ups as close to their time as the kernel gives them (the default
    // slack is 50 us, a twentieth of a byte at 9600 baud, many at 115200).
    if (line_.Delays()) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    char buf[512];
    while (!stop_) {
        if (state_.TakeRestartPending()) {
            DropClient();
            CloseListener();
        }
        const bool wantListener = !tcpAddress.empty() && listen_ < 0;
        if (wantListener && state_.AcceptsConnections()) OpenListener(nullptr);
        // A listener opened early keeps new connections waiting in its queue
        // until the restart is over, so that their first requests are answered.
        const bool accepting = !state_.IsRestarting();

        std::vector<pollfd> fds;
        fds.push_back({wake_[0], POLLIN, 0});
        if (master_ >= 0) fds.push_back({master_, POLLIN, 0});
        if (listen_ >= 0 && accepting) fds.push_back({listen_, POLLIN, 0});
        if (client_ >= 0) fds.push_back({client_, POLLIN, 0});
        // While the listener is down for a restart, look again soon.
        const int timeout = (!tcpAddress.empty() && (listen_ < 0 || !accepting)) ? 10 : 500;
        if (::poll(fds.data(), fds.size(), timeout) <= 0) continue;

        for (const pollfd& p : fds) {
            if (!p.revents || stop_) continue;
            if (p.fd == wake_[0]) {
                while (::read(wake_[0], buf, sizeof buf) > 0) {
                }
            } else if (p.fd == master_) {
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) OnSerialBytes(buf, size_t(n));
            } else if (p.fd == listen_ && listen_ >= 0) {
                const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) continue;
                DropClient();   // one client at a time: the newest wins
                client_ = fd;
                const int one = 1;
                ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                state_.CountConnection();
            } else if (p.fd == client_ && client_ >= 0) {
                const ssize_t n = ::recv(client_, buf, sizeof buf, 0);
                if (n > 0) {
                    OnTcpBytes(buf, size_t(n));
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    DropClient();
                }
            }
        }
    }
}

void SimUnit::Io::OnSerialBytes(const char* bytes, size_t n) {
    state_.CountSerialBytes(n, 0);
    for (size_t i = 0; i < n && !stop_; ++i) {
        const auto c = uint8_t(bytes[i]);
        if (c == kStx) {   // a frame starts (an unfinished one is abandoned)
            line_.RequestStarted(LineNowNs());
            serialBuf_.assign(1, char(c));
            continue;
        }
        if (serialBuf_.empty()) continue;   // noise before the STX
        serialBuf_.push_back(char(c));
        if (c == kEtx) {
            const std::string frame = std::move(serialBuf_);
            serialBuf_.clear();
            Answer(frame, false);
        } else if (serialBuf_.size() > kMaxPendingFrame) {
            serialBuf_.clear();
        }
    }
}

void SimUnit::Io::OnTcpBytes(const char* bytes, size_t n) {
    tcpBuf_.append(bytes, n);
    while (client_ >= 0 && !stop_) {
        EnvelopeTake take = TakeEnvelope(cipher_, tcpBuf_);
        if (take.read == EnvelopeRead::NeedMore) return;
        if (take.read == EnvelopeRead::Bad) {
            tcpBuf_.clear();   // not an envelope: nothing to resynchronise on
            return;
        }
        tcpBuf_.erase(0, take.used);
        Answer(take.frame, true);
    }
}

void SimUnit::Io::Answer(const std::string& frame, bool tcp) {
    const uint64_t dueNs = tcp ? line_.TcpReplyNs(LineNowNs()) : line_.SerialReplyStartNs(frame.size());
    std::string reply = state_.Handle(frame);
    if (!reply.empty() && line_.Delays() && !PauseUntilNs(dueNs)) return;
    replyDueNs_ = tcp ? 0 : dueNs;
    if (!reply.empty()) {
        const ReplyFault rf = state_.TakeReplyFault(frame);
        uint32_t splitPause = 0;
        bool send = true;
        if (rf.fault == Fault::OddAddress && frame.size() >= 10 && frame.compare(6, 4, "gadd") == 0) {
            const std::string odd = std::to_string(rf.delayMs ? rf.delayMs : 12345);
            reply = BuildReplyFrame(std::atoi(reply.substr(1, 4).c_str()), reply[5], odd);
        }
        switch (rf.fault) {
            case Fault::None: break;
            case Fault::Silence: send = false; break;
            case Fault::Restart:
                send = false;
                state_.BeginRestart();
                break;
            case Fault::DropConnection:
                send = false;
                if (tcp) DropClient();
                break;
            case Fault::NoiseBeforeStx: reply.insert(0, kNoise); break;
            case Fault::BadChecksum: reply[reply.size() - 2] = char(uint8_t(reply[reply.size() - 2]) ^ 0x01); break;
            case Fault::NoEtx: reply.pop_back(); break;
            case Fault::SplitTcpSegment: splitPause = rf.delayMs; break;
            case Fault::SlowReply:
                send = Pause(rf.delayMs);
                replyDueNs_ = 0;   // the line time starts after the delay
                break;
            case Fault::ReplyTwice: case Fault::ReplyTwiceApart: case Fault::Flood: case Fault::OddAddress: break;
            case Fault::Drip:
                send = false;
                Drip(reply, tcp, rf.delayMs ? rf.delayMs : 100);
                break;
        }
        const int copies = rf.fault == Fault::ReplyTwice ? 2 : 1;
        if (send && rf.fault == Fault::ReplyTwiceApart) {
            // The repeat as a write of its own, right behind the first (or after delayMs).
            for (int copy = 0; copy < 2; ++copy) {
                if (copy == 1 && rf.delayMs != 0 && !Pause(rf.delayMs)) break;
                if (tcp) {
                    SendTcp(reply, 0);
                } else {
                    SendSerial(reply, 0);
                }
            }
            send = false;
        }
        if (send && tcp) SendTcp(reply, splitPause, copies);
        if (send && !tcp) SendSerial(copies > 1 ? reply + reply : reply, splitPause);
        if (rf.fault == Fault::Flood) Flood(tcp, rf.delayMs ? rf.delayMs : 3000);
    }
    replyDueNs_ = 0;
    AfterReply();
}

void SimUnit::Io::AfterReply() {
    if (state_.TakeRestartPending()) {
        DropClient();
        CloseListener();
    }
}

void SimUnit::Io::SendSerial(const std::string& bytes, uint32_t splitPauseMs) {
    if (master_ < 0) return;
    state_.CountReply();
    state_.CountSerialBytes(0, bytes.size());
    if (line_.PacesSerial()) {
        const size_t first = splitPauseMs ? std::min<size_t>(8, bytes.size()) : bytes.size();
        if (WritePaced(bytes.substr(0, first)) && first < bytes.size() && Pause(splitPauseMs))
            WritePaced(bytes.substr(first));
        return;
    }
    size_t done = 0;
    const size_t firstPart = splitPauseMs ? std::min<size_t>(8, bytes.size()) : bytes.size();
    int stalls = 0;
    while (done < bytes.size() && !stop_) {
        const size_t upTo = done < firstPart ? firstPart : bytes.size();
        const ssize_t n = ::write(master_, bytes.data() + done, upTo - done);
        if (n > 0) {
            done += size_t(n);
            if (done == firstPart && done < bytes.size() && !Pause(splitPauseMs)) return;
            continue;
        }
        // Nobody reads the terminal and its queue is full: the reply is lost,
        // as it would be on a line with no listener.
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        if (++stalls > 20) return;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
}

bool SimUnit::Io::PauseUntilNs(uint64_t ns) {
    while (!stop_) {
        const uint64_t now = LineNowNs();
        if (now >= ns) return true;
        const uint64_t left = ns - now;
        const timespec wait{time_t(left / 1000000000u), long(left % 1000000000u)};
        pollfd p{wake_[0], POLLIN, 0};
        if (::ppoll(&p, 1, &wait, nullptr) > 0) {
            char sink[64];
            while (::read(wake_[0], sink, sizeof sink) > 0) {
            }
        }
    }
    return false;
}

bool SimUnit::Io::WritePaced(const std::string& bytes) {
    // The reply to a request starts when it is due, however late this thread
    // woke; a further write (a repeat, the rest of a split reply) starts now.
    // Each write carries the bytes whose time has come, so a late wake-up
    // never makes the later bytes later still.
    if (bytes.empty()) return true;
    const uint64_t start = replyDueNs_ != 0 ? replyDueNs_ : LineNowNs();
    replyDueNs_ = 0;
    size_t done = 0;
    while (done < bytes.size()) {
        if (!PauseUntilNs(line_.ByteDoneNs(start, done))) return false;
        const uint64_t now = LineNowNs();
        size_t due = done + 1;
        while (due < bytes.size() && line_.ByteDoneNs(start, due) <= now) ++due;
        if (!WriteRaw(bytes.substr(done, due - done), false)) return false;
        done = due;
    }
    line_.ReplyFinished(line_.ByteDoneNs(start, bytes.size() - 1));
    return true;
}

bool SimUnit::Io::WriteRaw(const std::string& bytes, bool tcp) {
    const int fd = tcp ? client_ : master_;
    if (fd < 0) return false;
    size_t done = 0;
    int stalls = 0;
    while (done < bytes.size() && !stop_) {
        const ssize_t n = tcp ? ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT)
                              : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            stalls = 0;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (++stalls > 20) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return done == bytes.size();
}

void SimUnit::Io::Flood(bool tcp, uint32_t ms) {
    // Bytes that are no frame: never STX, never ETX; big writes, so that a
    // reader that takes a little at a time never finds the line empty.
    const std::string junk(65536, '\x55');
    const bool endless = ms == kWithoutEnd;
    const uint64_t end = endless ? 0 : TickMs() + ms;
    while (!stop_ && !state_.floodStopped && (endless || TickMs() < end)) {
        const int fd = tcp ? client_ : master_;
        if (fd < 0) return;
        const ssize_t n = tcp ? ::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                              : ::write(fd, junk.data(), junk.size());
        if (n > 0) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            // The connection is gone: the unit notices and waits for a new one.
            if (tcp) DropClient();
            return;
        }
        pollfd p{fd, POLLOUT, 0};   // the line is full: keep it full
        ::poll(&p, 1, 5);
    }
}

void SimUnit::Io::Drip(const std::string& reply, bool tcp, uint32_t everyMs) {
    state_.CountReply();
    std::string bytes = reply;
    if (tcp) {
        bytes = SealEnvelope(cipher_, reply);
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && !Pause(everyMs)) return;
        if (!WriteRaw(bytes.substr(i, 1), tcp)) return;
    }
}

void SimUnit::Io::SendTcp(const std::string& reply, uint32_t splitPauseMs, int copies) {
    if (client_ < 0) return;
    state_.CountReply();
    std::string env = SealEnvelope(cipher_, reply);
    if (copies > 1) env += env;   // the repeat goes in the same segment, right behind
    // One send per reply; with a split fault the first 8 bytes go alone.
    const size_t firstPart = splitPauseMs ? 8 : env.size();
    if (::send(client_, env.data(), firstPart, MSG_NOSIGNAL) != ssize_t(firstPart)) {
        DropClient();
        return;
    }
    if (firstPart < env.size()) {
        if (!Pause(splitPauseMs) || client_ < 0) return;
        const size_t rest = env.size() - firstPart;
        if (::send(client_, env.data() + firstPart, rest, MSG_NOSIGNAL) != ssize_t(rest)) {
            DropClient();
            return;
        }
    }
}

}  // namespace sim
