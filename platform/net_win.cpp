// TCP sockets on Winsock 2.2, started once per process by the first socket.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <iterator>
#include <vector>
#include <mutex>

#include "platform/clock.h"
#include "platform/net.h"
#include "platform/socket_options.h"
#include "wide_text.h"

namespace {

thread_local int t_lastError = 0;

int Fail(int error) {
    t_lastError = error;
    return error;
}

int FailWsa() { return Fail(ErrnoOfWindowsError(unsigned(WSAGetLastError()))); }

constexpr int kConnectSliceMs = 20;

SOCKET Raw(SocketHandle s) { return SOCKET(s); }

}  // namespace

int SocketLibraryStart() {
    static const int started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return started;
}

void SocketLibraryStop() {}
int LastSocketError() { return t_lastError; }

SocketHandle CreateTcpSocket() {
    if (SocketLibraryStart() != 0) {
        Fail(EIO);
        return kNoSocket;
    }
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        FailWsa();
        return kNoSocket;
    }
    return SocketHandle(s);
}

bool SetReceiveTimeout(SocketHandle s, uint32_t ms) {
    const DWORD value = ms;
    if (setsockopt(Raw(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value) != 0) {
        FailWsa();
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
    u_long on = 1;
    if (ioctlsocket(Raw(s), FIONBIO, &on) != 0) return FailWsa();

    int result = 0;
    if (::connect(Raw(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) {
            result = ErrnoOfWindowsError(unsigned(error));
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
                WSAPOLLFD p{Raw(s), POLLOUT, 0};
                const int r = WSAPoll(&p, 1, int(left < kConnectSliceMs ? left : kConnectSliceMs));
                if (r < 0) {
                    result = ErrnoOfWindowsError(unsigned(WSAGetLastError()));
                    break;
                }
                if (r > 0) {
                    int soError = 0;
                    int len = sizeof soError;
                    if (getsockopt(Raw(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
                        soError = WSAGetLastError();
                    // A refused connection may show as an error event with SO_ERROR still 0.
                    if (soError == 0 && (p.revents & (POLLERR | POLLHUP))) soError = WSAECONNREFUSED;
                    result = soError == 0 ? 0 : ErrnoOfWindowsError(unsigned(soError));
                    break;
                }
            }
        }
    }
    u_long off = 0;
    if (ioctlsocket(Raw(s), FIONBIO, &off) != 0 && result == 0) result = ErrnoOfWindowsError(unsigned(WSAGetLastError()));
    return result == 0 ? 0 : Fail(result);
}

long SendOnce(SocketHandle s, const uint8_t* bytes, size_t length) {
    const int n = ::send(Raw(s), reinterpret_cast<const char*>(bytes), int(length), 0);
    if (n == SOCKET_ERROR) {
        FailWsa();
        return -1;
    }
    return long(n);
}

long ReceiveOnce(SocketHandle s, uint8_t* buffer, size_t capacity) {
    const int n = ::recv(Raw(s), reinterpret_cast<char*>(buffer), int(capacity), 0);
    if (n == SOCKET_ERROR) {
        FailWsa();
        return -1;
    }
    return long(n);
}

long DiscardPending(SocketHandle s, long limit) {
    char scratch[256];
    long total = 0;
    for (;;) {
        WSAPOLLFD p{Raw(s), POLLRDNORM, 0};
        const int r = WSAPoll(&p, 1, 0);
        if (r < 0) {
            FailWsa();
            return -1;
        }
        if (r == 0) return total;
        // The bytes that came before a close or a failure are counted: the
        // close is seen again by the next call.
        if (p.revents & (POLLERR | POLLNVAL)) return total > 0 ? total : -1;
        const int n = ::recv(Raw(s), scratch, sizeof scratch, 0);
        if (n > 0) {
            total += n;
            if (total > limit) return kDiscardOverflow;
            continue;
        }
        if (n == 0) return total > 0 ? total : -1;   // the peer has closed
        FailWsa();
        return total > 0 ? total : -1;
    }
}

long DiscardArriving(SocketHandle s, uint32_t ms, long limit) {
    const uint64_t until = TickMs() + ms;
    long total = 0;
    for (;;) {
        const uint64_t now = TickMs();
        if (now >= until) return total;
        WSAPOLLFD p{Raw(s), POLLRDNORM, 0};
        const int r = WSAPoll(&p, 1, int(until - now));
        if (r <= 0) return total;
        const long got = DiscardPending(s, limit - total);
        if (got == kDiscardOverflow) return got;
        if (got < 0) return total;
        total += got;
    }
}

bool MakeSocketPair(SocketHandle ends[2]) {
    const SocketHandle listener = CreateTcpSocket();
    if (listener == kNoSocket) return false;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof sa;
    SocketHandle a = kNoSocket, b = kNoSocket;
    bool ok = ::bind(Raw(listener), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
              ::getsockname(Raw(listener), reinterpret_cast<sockaddr*>(&sa), &len) == 0 &&
              ::listen(Raw(listener), 1) == 0;
    if (ok) a = CreateTcpSocket();
    ok = ok && a != kNoSocket && ::connect(Raw(a), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (ok) {
        const SOCKET accepted = ::accept(Raw(listener), nullptr, nullptr);
        ok = accepted != INVALID_SOCKET;
        if (ok) b = SocketHandle(accepted);
    }
    u_long on = 1;
    ok = ok && ioctlsocket(Raw(a), FIONBIO, &on) == 0 && ioctlsocket(Raw(b), FIONBIO, &on) == 0;
    if (!ok) FailWsa();
    CloseSocket(listener);
    if (!ok) {
        CloseSocket(a);
        CloseSocket(b);
        return false;
    }
    ends[0] = a;
    ends[1] = b;
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
    // Windows lets a second program take a port still in use with
    // SO_REUSEADDR; exclusive use is its counterpart of the Linux meaning.
    const BOOL one = TRUE;
    ::setsockopt(Raw(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    u_long on = 1;
    int len = sizeof sa;
    if (ioctlsocket(Raw(s), FIONBIO, &on) != 0 || ::bind(Raw(s), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(Raw(s), backlog) != 0 || ::getsockname(Raw(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        FailWsa();
        CloseSocket(s);
        return kNoSocket;
    }
    port = ntohs(sa.sin_port);
    return s;
}

std::string PeerAddress::Text() const { return Ipv4Text(ipv4) + ":" + std::to_string(port); }

SocketHandle AcceptConnection(SocketHandle listener, PeerAddress* peer) {
    sockaddr_in from{};
    int len = sizeof from;
    const SOCKET s = ::accept(Raw(listener), reinterpret_cast<sockaddr*>(&from), &len);
    if (s == INVALID_SOCKET) {
        FailWsa();
        return kNoSocket;
    }
    if (peer) *peer = PeerAddress{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return SocketHandle(s);
}

long SendNow(SocketHandle s, const void* bytes, size_t length) {
    const int n = ::send(Raw(s), static_cast<const char*>(bytes), int(length), 0);
    if (n >= 0) return long(n);
    if (WSAGetLastError() == WSAEWOULDBLOCK) return kWouldBlock;
    FailWsa();
    return -1;
}

long ReceiveNow(SocketHandle s, void* buffer, size_t capacity) {
    const int n = ::recv(Raw(s), static_cast<char*>(buffer), int(capacity), 0);
    if (n >= 0) return long(n);
    if (WSAGetLastError() == WSAEWOULDBLOCK) return kWouldBlock;
    FailWsa();
    return -1;
}

int WaitFor(Waitable* items, size_t count, int timeoutMs) {
    // A wait for a hang-up alone is left out: WSAPoll takes no such event,
    // and asked for nothing it may refuse the whole call.
    WSAPOLLFD small[16];
    std::vector<WSAPOLLFD> large(count > std::size(small) ? count : 0);
    WSAPOLLFD* fds = large.empty() ? small : large.data();
    ULONG polled = 0;
    for (size_t i = 0; i < count; ++i) {
        items[i].ready = false;
        if (!items[i].hangUpOnly)
            fds[polled++] = {Raw(items[i].handle), short(items[i].write ? POLLWRNORM : POLLRDNORM), 0};
    }
    if (polled == 0) {
        if (timeoutMs > 0) Sleep(DWORD(timeoutMs));
        return 0;
    }
    const int r = WSAPoll(fds, polled, timeoutMs);
    if (r < 0) {
        FailWsa();
        return -1;
    }
    for (size_t i = 0, j = 0; i < count; ++i)
        if (!items[i].hangUpOnly) items[i].ready = fds[j++].revents != 0;
    return r;
}

int WaitForNs(Waitable* items, size_t count, uint64_t timeoutNs) {
    return WaitFor(items, count, int((timeoutNs + 999999u) / 1000000u));
}

void ShutdownAndClose(SocketHandle s) {
    if (s == kNoSocket) return;
    ::shutdown(Raw(s), SD_BOTH);
    ::closesocket(Raw(s));
}

void CloseSocket(SocketHandle s) {
    if (s != kNoSocket) ::closesocket(Raw(s));
}

bool SetSocketNonBlocking(SocketHandle s) {
    u_long on = 1;
    return ioctlsocket(Raw(s), FIONBIO, &on) == 0;
}

bool SetAddressReusable(SocketHandle s) {
    const BOOL one = TRUE;
    return ::setsockopt(Raw(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one) == 0;
}

bool SetListenBacklog(SocketHandle s, int backlog) { return ::listen(Raw(s), backlog) == 0; }

std::optional<PeerAddress> SocketAddress(SocketHandle s, bool peer) {
    sockaddr_in a{};
    int len = sizeof a;
    const int rc = peer ? ::getpeername(Raw(s), reinterpret_cast<sockaddr*>(&a), &len)
                        : ::getsockname(Raw(s), reinterpret_cast<sockaddr*>(&a), &len);
    if (rc != 0) return std::nullopt;
    return PeerAddress{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}
