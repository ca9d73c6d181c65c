// Helpers shared by the link's source files; not for other users of the link.
#pragma once
#include <atomic>
#include <string>

#include "link/remote_control.h"

enum class ConnectStage { Ok, Socket, Option, Connect };

struct LinkInternals {
    // Steps of making a TCP connection: socket, 1,500 ms receive time-out,
    // bounded connect to port 9999. On failure the new socket is closed and
    // `error` holds the socket layer's error number.
    static ConnectStage MakeConnection(const std::string& ip, const std::atomic<int>* cancelled,
                                       SocketHandle& out, int& error);
    // Stores a new socket in the link unless it already has one (then the new
    // one is closed). Returns false when the new one was closed.
    static bool AdoptSocket(CFerritRemoteControl& link, SocketHandle s);
    // Shuts down and closes the link's socket, if any; leaves `connected` alone.
    static void DropSocket(CFerritRemoteControl& link);
    // Transact's reconnection before an exchange, with its log lines.
    static bool ReconnectLogged(CFerritRemoteControl& link);
    // The immediate reconnection after a failed send or receive, with its debug
    // lines. Returns the stage that failed.
    static ConnectStage ReconnectQuiet(CFerritRemoteControl& link);
    // Before a new send, everything received and not consumed (a late or
    // repeated reply from an earlier exchange) is thrown away, on the port or
    // the socket of the selected transport; a connection the unit has closed
    // is dropped so that it is made anew. False when the unit floods the line
    // (TCP: the connection is dropped).
    static bool DiscardStaleInput(CFerritRemoteControl& link);
    // Error handling after a failed send (`sending`) or receive.
    static ResultCode SocketFailed(CFerritRemoteControl& link, bool sending, int error, bool connectionGone);

    // `deadline` (TickMs) ends the exchange however slowly bytes come: then
    // `received` is empty and `overran` set.
    static ResultCode ExchangeSerial(CFerritRemoteControl& link, const std::string& frame, bool logging,
                                     uint64_t deadline, std::string& received, bool& overran);
    static ResultCode ReadSerialReply(CFerritRemoteControl& link, bool bulk, bool logging, uint64_t deadline,
                                      std::string& received, bool& overran);
    static ResultCode ExchangeTcp(CFerritRemoteControl& link, const std::string& frame, bool logging,
                                  std::string& received);
};
