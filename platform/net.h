// TCP sockets: POSIX sockets on Linux (the socket library's start and stop
// are no-ops that succeed), Winsock 2.2 on Windows. Error numbers are errno
// values on both (a Winsock error is given as its errno counterpart).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#ifdef _WIN32
using SocketHandle = uintptr_t;           // a SOCKET; 0 = none, as the link keeps it
#else
using SocketHandle = int;                 // 0 = none, as the link keeps it
#endif
inline constexpr SocketHandle kNoSocket = 0;

int SocketLibraryStart();                 // 0, or an error (Windows: once per process)
void SocketLibraryStop();
int LastSocketError();                    // errno of the last failed call

// Whether `text` is an IPv4 address in dotted-quad form.
bool IsIpv4Address(const std::string& text);
// The IPv4 address `text` names (host order), or nothing.
std::optional<uint32_t> ParseIpv4(const std::string& text);
// An IPv4 address (host order) as "A.B.C.D".
std::string Ipv4Text(uint32_t address);
// Creates an IPv4 stream socket; returns kNoSocket on failure. A descriptor 0
// is never handed out (it would read as "no socket").
SocketHandle CreateTcpSocket();
bool SetReceiveTimeout(SocketHandle s, uint32_t ms);
// Connects to address:port, giving up after `timeoutMs` (ETIMEDOUT) or when
// `cancelled` (checked every few ms) becomes non-zero (ECANCELED). Returns 0 or
// an errno value.
int ConnectWithTimeout(SocketHandle s, const std::string& address, uint16_t port, uint32_t timeoutMs,
                       const std::atomic<int>* cancelled = nullptr);
// One send call; returns bytes sent or -1.
long SendOnce(SocketHandle s, const uint8_t* bytes, size_t length);
// One receive call; returns bytes received, 0 on an orderly close, -1 on failure or time-out.
long ReceiveOnce(SocketHandle s, uint8_t* buffer, size_t capacity);
// Throws away whatever already waits to be received, without waiting. Returns
// the number of bytes discarded (those that came before a close too), -1 when
// the peer has closed or the connection failed with nothing before it, or kDiscardOverflow when more than `limit` bytes kept coming (a peer
// that floods the connection).
inline constexpr long kDiscardOverflow = -2;
long DiscardPending(SocketHandle s, long limit);
// Waits `ms` and throws away whatever arrives meanwhile. Returns the number of
// bytes discarded (0 also when the peer closed), or kDiscardOverflow as above.
long DiscardArriving(SocketHandle s, uint32_t ms, long limit);
// Two connected stream sockets, for a wake-up that a socket wait also sees
// (Linux: socketpair; Windows: a loopback connection through a listener made
// for it). Both ends do not block. False on failure.
bool MakeSocketPair(SocketHandle ends[2]);

// Servers (the simulated unit, the bridge): sockets made here do not block.
// A listener on address:port (IPv4), the address reusable at once; port 0
// takes one the system chooses and writes it back. kNoSocket on failure
// (LastSocketError).
SocketHandle ListenTcp(const std::string& address, uint16_t& port, int backlog);
// Where a connection comes from: an IPv4 address (host order) and port.
struct PeerAddress {
    uint32_t ipv4 = 0;
    uint16_t port = 0;
    std::string Text() const;   // "A.B.C.D:PORT"
};
// A connection waiting at `listener`, without delay on small writes (no
// Nagle), and where it comes from when `peer` is given; kNoSocket when none
// waits or on failure.
SocketHandle AcceptConnection(SocketHandle listener, PeerAddress* peer = nullptr);
// One send or receive without waiting: the bytes that went or came, 0 for an
// orderly close (receive), kWouldBlock when nothing can go or come now, -1 on
// failure (LastSocketError).
inline constexpr long kWouldBlock = -3;
long SendNow(SocketHandle s, const void* bytes, size_t length);
long ReceiveNow(SocketHandle s, void* buffer, size_t capacity);

// Something a wait watches: a socket (on Linux any descriptor).
struct Waitable {
    SocketHandle handle;
    bool write = false;     // wait until it can be written, else read
    // Wait only for the peer's hang-up or a failure, not for bytes to read
    // (Linux: POLLRDHUP; Windows does not watch it: a hang-up is seen
    // there when the socket is next read).
    bool hangUpOnly = false;
    bool ready = false;     // set by WaitFor: readable/writable, closed or failed
};
// Waits until one of `items` (any number) is ready or `timeoutMs` (-1: no
// limit) passes: the number ready, 0 on the time-out, -1 on failure (an
// interruption counts as a time-out).
int WaitFor(Waitable* items, size_t count, int timeoutMs);
// As WaitFor, with the time-out in nanoseconds: to the nanosecond where the
// system's wait takes one, else rounded up to the next millisecond.
int WaitForNs(Waitable* items, size_t count, uint64_t timeoutNs);

void ShutdownAndClose(SocketHandle s);
void CloseSocket(SocketHandle s);
