#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>
#include <vector>

#include "platform/clock.h"
#include "platform/socket_options.h"

namespace {

thread_local int t_lastError = 0;

int Fail(int error) {
    t_lastError = error;
    return error;
}

bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

constexpr int kConnectSliceMs = 20;

}  // namespace

int SocketLibraryStart() { return 0; }
void SocketLibraryStop() {}
int LastSocketError() { return t_lastError; }

SocketHandle CreateTcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        Fail(errno);
        return kNoSocket;
    }
    if (fd == 0) {
        // Descriptor 0 would read as "no socket": move it out of the way.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        const int error = errno;
        ::close(fd);
        if (moved < 0) {
            Fail(error);
            return kNoSocket;
        }
        fd = moved;
    }
    return fd;
}

bool SetReceiveTimeout(SocketHandle s, uint32_t ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = suseconds_t(ms % 1000) * 1000;
    if (setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
        Fail(errno);
        return false;
    }
    return true;
}

int ConnectWithTimeout(SocketHandle s, const std::string& address, uint16_t port, uint32_t timeoutMs,
                       const std::atomic<int>* cancelled) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return Fail(EINVAL);
    if (!SetNonBlocking(s, true)) return Fail(errno);

    int result = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) {
            result = errno;
        } else {
            const uint64_t deadline = TickMs() + timeoutMs;
            result = ETIMEDOUT;
            for (;;) {
                if (cancelled && cancelled->load() != 0) {
                    result = ECANCELED;
                    break;
                }
                const uint64_t now = TickMs();
                if (now >= deadline) break;
                const uint64_t left = deadline - now;
                pollfd p{s, POLLOUT, 0};
                const int r = poll(&p, 1, int(left < kConnectSliceMs ? left : kConnectSliceMs));
                if (r < 0 && errno != EINTR) {
                    result = errno;
                    break;
                }
                if (r > 0) {
                    int error = 0;
                    socklen_t len = sizeof error;
                    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
                    result = error;
                    break;
                }
            }
        }
    }
    if (!SetNonBlocking(s, false) && result == 0) result = errno;
    return result == 0 ? 0 : Fail(result);
}

long SendOnce(SocketHandle s, const uint8_t* bytes, size_t length) {
    const ssize_t n = ::send(s, bytes, length, MSG_NOSIGNAL);
    if (n < 0) {
        Fail(errno);
        return -1;
    }
    return long(n);
}

long ReceiveOnce(SocketHandle s, uint8_t* buffer, size_t capacity) {
    ssize_t n;
    do {
        n = ::recv(s, buffer, capacity, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        // A receive time-out reads as EAGAIN; report it as a time-out.
        Fail(errno == EAGAIN ? ETIMEDOUT : errno);
        return -1;
    }
    return long(n);
}

long DiscardPending(SocketHandle s, long limit) {
    uint8_t scratch[256];
    long total = 0;
    for (;;) {
        const ssize_t n = ::recv(s, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0) {
            total += n;
            if (total > limit) return kDiscardOverflow;
            continue;
        }
        // The bytes that came before a close or a failure are counted: the
        // close is seen again by the next call.
        if (n == 0) return total > 0 ? total : -1;      // the peer has closed
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return total;
        Fail(errno);
        return total > 0 ? total : -1;
    }
}

long DiscardArriving(SocketHandle s, uint32_t ms, long limit) {
    const uint64_t until = TickMs() + ms;
    long total = 0;
    for (;;) {
        const uint64_t now = TickMs();
        if (now >= until) return total;
        pollfd p{s, POLLIN, 0};
        const int r = ::poll(&p, 1, int(until - now));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return total;
        const long got = DiscardPending(s, limit - total);
        if (got == kDiscardOverflow) return got;
        if (got < 0) return total;   // closed: nothing more can come
        total += got;
    }
}

bool MakeSocketPair(SocketHandle ends[2]) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        Fail(errno);
        return false;
    }
    ends[0] = fds[0];
    ends[1] = fds[1];
    return true;
}

SocketHandle ListenTcp(const std::string& address, uint16_t& port, int backlog) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        Fail(EINVAL);
        return kNoSocket;
    }
    const SocketHandle s = CreateTcpSocket();
    if (s == kNoSocket) return kNoSocket;
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof sa;
    if (!SetNonBlocking(s, true) || ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(s, backlog) != 0 || ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        Fail(errno);
        ::close(s);
        return kNoSocket;
    }
    port = ntohs(sa.sin_port);
    return s;
}

std::string PeerAddress::Text() const { return Ipv4Text(ipv4) + ":" + std::to_string(port); }

SocketHandle AcceptConnection(SocketHandle listener, PeerAddress* peer) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        Fail(errno);
        return kNoSocket;
    }
    if (peer) *peer = PeerAddress{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

long SendNow(SocketHandle s, const void* bytes, size_t length) {
    for (;;) {
        const ssize_t n = ::send(s, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return long(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
        Fail(errno);
        return -1;
    }
}

long ReceiveNow(SocketHandle s, void* buffer, size_t capacity) {
    for (;;) {
        const ssize_t n = ::recv(s, buffer, capacity, MSG_DONTWAIT);
        if (n >= 0) return long(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
        Fail(errno);
        return -1;
    }
}

namespace {

// The poll() table of `items`: on the stack for the few a link waits on.
template <typename Wait>
int PollItems(Waitable* items, size_t count, Wait wait) {
    pollfd small[16];
    std::vector<pollfd> large(count > std::size(small) ? count : 0);
    pollfd* fds = large.empty() ? small : large.data();
    for (size_t i = 0; i < count; ++i) {
        const short events = items[i].hangUpOnly ? POLLRDHUP : items[i].write ? POLLOUT : POLLIN;
        fds[i] = {items[i].handle, events, 0};
    }
    const int r = wait(fds, nfds_t(count));
    if (r < 0) return errno == EINTR ? 0 : -1;
    for (size_t i = 0; i < count; ++i) items[i].ready = fds[i].revents != 0;
    return r;
}

}  // namespace

int WaitFor(Waitable* items, size_t count, int timeoutMs) {
    return PollItems(items, count, [timeoutMs](pollfd* fds, nfds_t n) { return ::poll(fds, n, timeoutMs); });
}

int WaitForNs(Waitable* items, size_t count, uint64_t timeoutNs) {
    const timespec wait{time_t(timeoutNs / 1000000000u), long(timeoutNs % 1000000000u)};
    return PollItems(items, count, [&wait](pollfd* fds, nfds_t n) { return ::ppoll(fds, n, &wait, nullptr); });
}

void ShutdownAndClose(SocketHandle s) {
    if (s == kNoSocket) return;
    ::shutdown(s, SHUT_RDWR);
    ::close(s);
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) ::close(s);
}

bool SetSocketNonBlocking(SocketHandle s) { return SetNonBlocking(s, true); }

bool SetAddressReusable(SocketHandle s) {
    const int one = 1;
    return ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
}

bool SetListenBacklog(SocketHandle s, int backlog) { return ::listen(s, backlog) == 0; }

std::optional<PeerAddress> SocketAddress(SocketHandle s, bool peer) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const int rc = peer ? ::getpeername(s, reinterpret_cast<sockaddr*>(&a), &len)
                        : ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    if (rc != 0) return std::nullopt;
    return PeerAddress{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}
