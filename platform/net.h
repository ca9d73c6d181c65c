// POSIX sockets. The socket library's start and stop are no-ops that succeed.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

using SocketHandle = int;                 // 0 = none, as the link keeps it
inline constexpr SocketHandle kNoSocket = 0;

int SocketLibraryStart();                 // 0
void SocketLibraryStop();
int LastSocketError();                    // errno of the last failed call

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
// the number of bytes discarded, -1 when the peer has closed or the connection
// failed, or kDiscardOverflow when more than `limit` bytes kept coming (a peer
// that floods the connection).
inline constexpr long kDiscardOverflow = -2;
long DiscardPending(SocketHandle s, long limit);
// Waits `ms` and throws away whatever arrives meanwhile. Returns the number of
// bytes discarded (0 also when the peer closed), or kDiscardOverflow as above.
long DiscardArriving(SocketHandle s, uint32_t ms, long limit);
void ShutdownAndClose(SocketHandle s);
void CloseSocket(SocketHandle s);
