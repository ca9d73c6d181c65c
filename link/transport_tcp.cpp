// The TCP transport: one enciphered envelope per request, one receive per reply,
// and the rules for dropping and remaking the connection.
#include <cerrno>

#include "link/envelope.h"
#include "link/link_key.h"
#include "link/frame.h"
#include "link/remote_control.h"
#include "link/transaction_log.h"
#include "link/transport.h"
#include "platform/debug_out.h"

namespace {

bool ConnectionGone(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ECONNABORTED;
}

}  // namespace

TcpTransport::TcpTransport(CFerritRemoteControl& link) : link_(link) {
    blowfish_.SetKey(kLinkKey, sizeof kLinkKey);
    DebugOut("Blowfish_Init called\r\n");
}

bool TcpTransport::IsOpen() const { return HasSocket(); }

TcpTransport::Stage TcpTransport::MakeConnection(const std::string& ip, SocketHandle& out, int& error) {
    out = kNoSocket;
    error = 0;
    const SocketHandle s = CreateTcpSocket();
    if (s == kNoSocket) {
        error = LastSocketError();
        return Stage::Socket;
    }
    if (!SetReceiveTimeout(s, kSocketReceiveTimeoutMs)) {
        error = LastSocketError();
        CloseSocket(s);
        return Stage::Option;
    }
    error = ConnectWithTimeout(s, ip, kUnitTcpPort, kConnectTimeoutMs);
    if (error != 0) {
        CloseSocket(s);
        return Stage::Connect;
    }
    out = s;
    return Stage::Ok;
}

void TcpTransport::Adopt(SocketHandle s) {
    SocketHandle expected = kNoSocket;
    if (socket_.compare_exchange_strong(expected, s)) {
        outOfStep_ = false;
        return;
    }
    ShutdownAndClose(s);
}

void TcpTransport::Close() {
    const SocketHandle s = socket_.exchange(kNoSocket);
    outOfStep_ = false;
    if (s != kNoSocket) ShutdownAndClose(s);
}

int TcpTransport::Connect() {
    Close();
    SocketHandle s = kNoSocket;
    int error = 0;
    if (MakeConnection(ipAddress_, s, error) != Stage::Ok) {
        return error != 0 ? error : EIO;
    }
    Adopt(s);
    link_.SetConnected(1);
    return 0;
}

bool TcpTransport::ReconnectLogged() {
    std::ofstream* log = link_.LogFile();
    LogTimeStamped(log, "Attempt to reconnect socket\r\n");
    LogFlush(log);
    SocketHandle s = kNoSocket;
    int error = 0;
    switch (MakeConnection(ipAddress_, s, error)) {
    case Stage::Socket: LogPrintf(log, "Error at socket(): %ld\r\n", long(error)); break;
    case Stage::Option: LogPrintf(log, "setsockopt failed error %d\r\n", error); break;
    case Stage::Connect:
        LogPrintf(log, "Failed to connect to %s port %d. Error %ld\r\n", ipAddress_.c_str(), int(kUnitTcpPort),
                  long(error));
        break;
    case Stage::Ok:
        Adopt(s);
        link_.SetConnected(1);
        LogPrintf(log, "Successfully reconnected socket\r\n");
        LogFlush(log);
        return true;
    }
    LogFlush(log);
    return false;
}

TcpTransport::Stage TcpTransport::ReconnectQuiet() {
    SocketHandle s = kNoSocket;
    int error = 0;
    const Stage stage = MakeConnection(ipAddress_, s, error);
    switch (stage) {
    case Stage::Socket: DebugOut("Error at socket(): %ld\r\n", long(error)); break;
    case Stage::Option: DebugOut("setsockopt failed error %d\r\n", error); break;
    case Stage::Connect: DebugOut("Failed to connect. Error %ld\r\n", long(error)); break;
    case Stage::Ok:
        Adopt(s);
        link_.SetConnected(1);
        break;
    }
    return stage;
}

bool TcpTransport::Reopen() {
    if (HasSocket() || !reconnectSocket_) return true;
    return ReconnectLogged();
}

bool TcpTransport::Purge(long& discarded) {
    discarded = 0;
    if (outOfStep_) {
        DebugOut("Dropping the connection of a failed exchange\r\n");
        Close();
    }
    const SocketHandle s = socket_.load();
    if (s == kNoSocket) return true;
    const long stale = DiscardPending(s, kStaleInputLimit);
    if (stale > 0) DebugOut("Discarded %ld stale bytes\r\n", stale);
    if (stale == kDiscardOverflow) {
        DebugOut("Unit floods the connection\r\n");
        Close();
        return false;
    }
    if (stale < 0) {
        DebugOut("Connection closed by the unit\r\n");
        Close();
    }
    if (stale > 0) discarded = stale;
    return true;
}

long TcpTransport::DiscardArriving(uint32_t ms) {
    const SocketHandle s = socket_.load();
    if (s == kNoSocket || outOfStep_) return 0;
    const long late = ::DiscardArriving(s, ms, kStaleInputLimit);
    if (late == kDiscardOverflow) {
        // Only a unit that floods the line sends this much unasked.
        outOfStep_ = true;
        return kStaleInputLimit;
    }
    if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
    return late;
}

ResultCode TcpTransport::Failed(bool sending, int error, bool connectionGone) {
    DebugOut("Error at socket(): %ld\r\n", long(error));
    const bool closeFlag = sending ? closeOnSendError_ : closeOnReceiveError_;
    ResultCode result = sending ? kErrWrite : kErrRead;
    if (closeFlag) {
        Close();
        link_.SetConnected(0);
        if (reconnectSocket_) {
            const Stage stage = ReconnectQuiet();
            if (sending && (stage == Stage::Socket || stage == Stage::Option)) result = kErrRead;
        }
    } else if (connectionGone) {
        // A connection the unit has closed or reset can carry no further
        // exchange: drop it so that the next exchange connects anew.
        Close();
    } else if (!sending) {
        // After a receive that failed or timed out a late reply may still come
        // on this connection and would be taken for the next request's: the
        // next exchange drops it and connects anew.
        outOfStep_ = true;
    }
    return result;
}

ResultCode TcpTransport::Exchange(const std::string& frame, bool logging, uint64_t, std::string& received, bool&) {
    const std::string envelope = SealEnvelope(blowfish_, frame);
    const long sent =
        SendOnce(socket_.load(), reinterpret_cast<const uint8_t*>(envelope.data()), envelope.size());
    if (sent < 0) {
        const int error = LastSocketError();
        return Failed(true, error, ConnectionGone(error));
    }
    std::ofstream* log = logging ? link_.LogFile() : nullptr;
    LogPrintf(log, "Response: ");

    uint8_t buffer[kReceiveBufferSize + 1] = {};
    const long got = ReceiveOnce(socket_.load(), buffer, kReceiveBufferSize);
    if (got <= 0) {
        // 0 is an orderly close by the unit: no reply can come on this connection.
        const int error = got < 0 ? LastSocketError() : ECONNRESET;
        return Failed(false, error, got == 0 || ConnectionGone(error));
    }
    const size_t n = size_t(got);
    // A trailing partial block is deciphered together with the bytes after it.
    blowfish_.DecipherBlocks(buffer, (n + 7) / 8 * 8);
    buffer[n] = 0;
    LogHexDump(log, buffer, n);
    received.assign(reinterpret_cast<const char*>(buffer), n);
    return kResultOk;
}

// The connection itself is dropped, and made anew by the next exchange.
void TcpTransport::DropWhatFollows() { outOfStep_ = true; }

bool TcpTransport::AfterReply(const std::string& received, size_t replyEnd) {
    // A second frame came with this one (a unit that repeats its reply):
    // whatever else it sends must not answer the next request.
    if (received.find(char(kStx), replyEnd) == std::string::npos) return false;
    outOfStep_ = true;
    return true;
}

void TcpTransport::TraceNoEtx(size_t bytesRead) const { DebugOut("No ETX. nBytesRead = %d\r\n", int(bytesRead)); }
