// POSIX sockets. The socket library's start and stop are no-ops that succeed.
#pragma once
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
// Connects to address:port, giving up after `timeoutMs` or when `cancelled`
// (checked every few ms) becomes true. Returns 0 or an errno value.
int ConnectWithTimeout(SocketHandle s, const std::string& address, uint16_t port, uint32_t timeoutMs,
                       const volatile int* cancelled = nullptr);
// One send call; returns bytes sent or -1.
long SendOnce(SocketHandle s, const uint8_t* bytes, size_t length);
// One receive call; returns bytes received, 0 on an orderly close, -1 on failure or time-out.
long ReceiveOnce(SocketHandle s, uint8_t* buffer, size_t capacity);
void ShutdownAndClose(SocketHandle s);
void CloseSocket(SocketHandle s);
