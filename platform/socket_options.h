// Sockets another library made and serves (the HTTP server library's): the
// settings and addresses it leaves to its user, on the platform's calls.
#pragma once
#include <optional>

#include "platform/net.h"

bool SetSocketNonBlocking(SocketHandle s);
// The address can be bound again at once (Linux SO_REUSEADDR; on Windows
// exclusive use, its counterpart there).
bool SetAddressReusable(SocketHandle s);
// Listens again with a longer backlog of waiting connections.
bool SetListenBacklog(SocketHandle s, int backlog);
// The connection's own end (`peer` false) or its peer's; nothing on failure.
std::optional<PeerAddress> SocketAddress(SocketHandle s, bool peer);
