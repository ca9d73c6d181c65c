// One exchange with the unit over either transport, with its retries, result
// codes and transaction log.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/remote_internal.h"
#include "link/transaction_log.h"
#include "platform/clock.h"
#include "platform/debug_out.h"

namespace {

constexpr size_t kBulkReadSpan = 135;        // a bulk read ignores ETX and silence before this
constexpr size_t kStxSearchLimit = 32;       // more bytes than this without an STX fail the read
constexpr int kBulkSilentReadsLimit = 3;     // silent reads in a row that end a bulk read early
constexpr int kEmptyRepliesUntilLost = 3;
// Bytes thrown away before a request beyond which the unit counts as flooding
// the line: far more than any number of late or repeated replies.
constexpr long kStaleInputLimit = 16384;
// One serial exchange ends at the latest this long beyond the line time of a
// full 256-byte reply, however slowly the bytes trickle in.
constexpr uint64_t kSerialExchangeSlackMs = 10000;
constexpr uint64_t kBitsPerSerialByte = 10;   // start bit, 8 data bits, stop bit

uint64_t SerialExchangeBoundMs(uint32_t baudRate) {
    const uint64_t rate = baudRate == 0 ? 1 : baudRate;
    const uint64_t lineMs = (kReceiveBufferSize * kBitsPerSerialByte * 1000 + rate - 1) / rate;
    return kSerialExchangeSlackMs + lineMs;
}

// How long the serial line must be quiet before late replies count as over:
// the read-interval time-out, the greatest gap between two received bytes.
uint32_t QuietLineMs(const CFerritRemoteControl& link) {
    return link.readIntervalTimeout != 0 ? link.readIntervalTimeout : 500;
}

bool ConnectionGone(int error) {
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ECONNABORTED;
}

}  // namespace

ResultCode LinkInternals::ReadSerialReply(CFerritRemoteControl& link, bool bulk, bool logging,
                                          uint64_t deadline, std::string& received, bool& overran) {
    received.clear();
    overran = false;
    const uint64_t start = TickMs();
    bool stxSeen = false;
    bool bulkActive = bulk;
    int silentReads = 0;
    for (;;) {
        uint8_t byte = 0;
        const int got = link.serialHandle.ReadByte(byte, deadline);
        if (got < 0) return kErrRead;
        if (got == 1) {
            silentReads = 0;
            if (byte == kStx) stxSeen = true;
            received.push_back(char(byte));
            // A reply holds at most 255 bytes: a 256th fails it, ETX or not.
            if (received.size() >= kReceiveBufferSize) return kErrRead;
            if (received.size() >= kBulkReadSpan) bulkActive = false;
            if (byte == kEtx && !bulkActive) break;
        } else {
            ++silentReads;
        }
        if (TickMs() >= deadline) {
            // The exchange has run out of time: whatever trickled in is no reply.
            received.clear();
            overran = true;
            break;
        }
        if (received.size() > kStxSearchLimit && !stxSeen) return kErrRead;
        if (bulkActive) {
            if (silentReads >= kBulkSilentReadsLimit) break;
            continue;
        }
        if (got == 0) break;
    }
    if (logging) {
        std::ofstream* log = link.logFile.get();
        LogPrintf(log, "%d bytes (%.2lfs) ", int(received.size()), double(TickMs() - start) / 1000.0);
        LogHexDump(log, reinterpret_cast<const uint8_t*>(received.data()), received.size());
    }
    return kResultOk;
}

ResultCode LinkInternals::ExchangeSerial(CFerritRemoteControl& link, const std::string& frame, bool logging,
                                         uint64_t deadline, std::string& received, bool& overran) {
    if (!link.serialHandle.Write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size())) return kErrWrite;
    if (logging) LogPrintf(link.logFile.get(), "Response: ");
    return ReadSerialReply(link, IsBulkRead(frame), logging, deadline, received, overran);
}

bool LinkInternals::DiscardStaleInput(CFerritRemoteControl& link) {
    if (link.mode == LinkModeSerial) {
        if (!link.serialHandle.IsOpen()) return true;
        const long stale = link.serialHandle.DiscardReceived(kStaleInputLimit);
        if (stale > 0) DebugOut("Discarded %ld stale bytes\r\n", stale);
        if (stale < 0) {
            DebugOut("Unit floods the line\r\n");
            return false;
        }
        return true;
    }
    if (link.socketOutOfStep) {
        DebugOut("Dropping the connection of a failed exchange\r\n");
        DropSocket(link);
    }
    const SocketHandle s = link.socket.load();
    if (s == kNoSocket) return true;
    const long stale = DiscardPending(s, kStaleInputLimit);
    if (stale > 0) DebugOut("Discarded %ld stale bytes\r\n", stale);
    if (stale == kDiscardOverflow) {
        DebugOut("Unit floods the connection\r\n");
        DropSocket(link);
        return false;
    }
    if (stale < 0) {
        DebugOut("Connection closed by the unit\r\n");
        DropSocket(link);
    }
    return true;
}

ResultCode LinkInternals::SocketFailed(CFerritRemoteControl& link, bool sending, int error, bool connectionGone) {
    DebugOut("Error at socket(): %ld\r\n", long(error));
    const bool closeFlag = sending ? link.closeOnSendError : link.closeOnReceiveError;
    ResultCode result = sending ? kErrWrite : kErrRead;
    if (closeFlag) {
        DropSocket(link);
        link.connected = 0;
        if (link.reconnectSocket) {
            const ConnectStage stage = ReconnectQuiet(link);
            if (sending && (stage == ConnectStage::Socket || stage == ConnectStage::Option)) result = kErrRead;
        }
    } else if (connectionGone) {
        // A connection the unit has closed or reset can carry no further
        // exchange: drop it so that the next exchange connects anew.
        DropSocket(link);
    } else if (!sending) {
        // After a receive that failed or timed out a late reply may still come
        // on this connection and would be taken for the next request's: the
        // next exchange drops it and connects anew.
        link.socketOutOfStep = true;
    }
    return result;
}

ResultCode LinkInternals::ExchangeTcp(CFerritRemoteControl& link, const std::string& frame, bool logging,
                                      std::string& received) {
    std::string envelope = WrapEnvelope(frame);
    link.blowfish.EncipherBlocks(reinterpret_cast<uint8_t*>(envelope.data()), envelope.size());
    const long sent = SendOnce(link.socket.load(), reinterpret_cast<const uint8_t*>(envelope.data()), envelope.size());
    if (sent < 0) {
        const int error = LastSocketError();
        return SocketFailed(link, true, error, ConnectionGone(error));
    }
    std::ofstream* log = logging ? link.logFile.get() : nullptr;
    LogPrintf(log, "Response: ");

    uint8_t buffer[kReceiveBufferSize + 1] = {};
    const long got = ReceiveOnce(link.socket.load(), buffer, kReceiveBufferSize);
    if (got <= 0) {
        // 0 is an orderly close by the unit: no reply can come on this connection.
        const int error = got < 0 ? LastSocketError() : ECONNRESET;
        return SocketFailed(link, false, error, got == 0 || ConnectionGone(error));
    }
    const size_t n = size_t(got);
    // A trailing partial block is deciphered together with the bytes after it.
    link.blowfish.DecipherBlocks(buffer, (n + 7) / 8 * 8);
    buffer[n] = 0;
    LogHexDump(log, buffer, n);
    received.assign(reinterpret_cast<const char*>(buffer), n);
    return kResultOk;
}

ResultCode CFerritRemoteControl::Transact(const char* request, int* status, char* data, int* length,
                                          uint8_t logLevel) {
    std::string frame;
    // A request a frame cannot carry is refused before anything is sent or logged.
    if (!request || !BuildRequestFrame(request, frame)) return kErrInvalidCommand;

    std::ofstream* log = logFile.get();
    const bool logging = log && logLevel != 0;
    auto finish = [&](ResultCode code) {
        if (logging) {
            LogPrintf(log, "Returning with error code %x\r\n", code);
            LogFlush(log);
        }
        return code;
    };

    const bool serial = mode == LinkModeSerial;
    if (!serial) {
        // Whatever the old connection still holds belongs to no request of ours.
        if (!LinkInternals::DiscardStaleInput(*this)) return finish(kErrRead);
        if (!HasSocket() && reconnectSocket && !LinkInternals::ReconnectLogged(*this)) {
            return finish(kErrNoConnection);
        }
    }
    if (serial ? !serialHandle.IsOpen() : !HasSocket()) return finish(kErrNoConnection);

    if (serial && serialOutOfStep) {
        // Replies to the failed exchange's attempts may still be on their way:
        // they must not answer this request. Only after a failure; bounded by
        // one exchange's own bound.
        serialOutOfStep = false;
        const long late = serialHandle.DiscardUntilQuiet(QuietLineMs(*this), TickMs() + SerialExchangeBoundMs(baudRate));
        if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
    }
    std::string received;
    const uint64_t deadline = TickMs() + SerialExchangeBoundMs(baudRate);
    bool retried = false;
    // Whatever ends the exchange short of an accepted reply leaves the serial
    // line out of step until the next exchange.
    auto failSerial = [&](ResultCode code) {
        if (serial) serialOutOfStep = true;
        return finish(code);
    };
    for (;;) {
        if (serial && !LinkInternals::DiscardStaleInput(*this)) return failSerial(kErrRead);
        if (logging) {
            const bool mask = logLevel >= 2;
            const auto* bytes = reinterpret_cast<const uint8_t*>(frame.data());
            LogTimeStamped(log, "Sending message: ");
            LogHexDump(log, bytes, frame.size(), mask);
            LogCharDump(log, bytes, frame.size(), mask);
            LogPrintf(log, "\r\n");
        }
        lastRequest = frame;
        if (!serial) {
            const ResultCode rc = LinkInternals::ExchangeTcp(*this, frame, logging, received);
            if (rc != kResultOk) return finish(rc);
            break;
        }
        bool overran = false;
        const ResultCode rc = LinkInternals::ExchangeSerial(*this, frame, logging, deadline, received, overran);
        if (rc != kResultOk) {
            serialHandle.DiscardReceived(kStaleInputLimit);
            return failSerial(rc);
        }
        if (!received.empty()) {
            emptyReplyCount = 0;
            if (retried) {
                // The earlier attempts may still be answered: their replies
                // must not meet the next request, so let the line fall quiet.
                const long late = serialHandle.DiscardUntilQuiet(QuietLineMs(*this), deadline);
                if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
            }
            break;
        }
        // Not a single byte came back, or the exchange ran out of time (then
        // there is no time left for another attempt).
        if (overran) emptyReplyCount = kEmptyRepliesUntilLost;
        if (connected != 0 && ++emptyReplyCount < kEmptyRepliesUntilLost) {
            retried = true;
            if (logging) LogPrintf(log, "Retry sending message\r\n");
            continue;
        }
        connected = 0;
        if (mainWindow) mainWindow->PostMsg(WM_LINK_LOST, 0, 0);
        return failSerial(kErrTimedOut);
    }

    std::string kept;
    ParsedReply reply;
    const ResultCode rc =
        AcceptReply(reinterpret_cast<const uint8_t*>(received.data()), received.size(), kept, reply);
    if (!kept.empty()) {
        lastReply = kept;
        lastReplyLength = int(kept.size());
        if (logging) {
            LogBytes(log, kept);
            LogPrintf(log, "\r\n");
        }
    }
    if (rc == kErrNoEtx) {
        if (serial) {
            DebugOut("No ETX. dwBytesRead = %d\r\n", int(received.size()));
        } else {
            DebugOut("No ETX. nBytesRead = %d\r\n", int(received.size()));
        }
    }
    if (rc != kResultOk) {
        // A reply that fails acceptance leaves the exchanges out of step: drop
        // what may still follow it (TCP: the connection itself, made anew by
        // the next exchange).
        if (serial) {
            serialHandle.DiscardReceived(kStaleInputLimit);
        } else {
            socketOutOfStep = true;
        }
        return failSerial(rc);
    }

    if (!serial && received.find(char(kStx), kept.size()) != std::string::npos) {
        // A second frame came with this one (a unit that repeats its reply):
        // whatever else it sends must not answer the next request.
        socketOutOfStep = true;
    }

    const size_t copied = reply.data.size() < kReceiveBufferSize ? reply.data.size() : kReceiveBufferSize - 1;
    std::memcpy(data, reply.data.data(), copied);
    data[copied] = '\0';
    *status = reply.status;
    *length = int(copied);
    connected = 1;
    if (logging) {
        LogPrintf(log, "Returning OK\r\n");
        LogFlush(log);
    }
    return kResultOk;
}

ResultCode TransactLocked(CFerritRemoteControl& link, const std::string& request, int* status, std::string* data,
                          uint8_t logLevel) {
    char reply[kReceiveBufferSize + 1] = {};
    int replyStatus = 0;
    int length = 0;
    ResultCode result;
    {
        LinkGuard guard(LinkLock);
        result = link.Transact(request.c_str(), &replyStatus, reply, &length, logLevel);
    }
    if (result != kResultOk) return result;
    if (status) *status = replyStatus;
    if (data) data->assign(reply, size_t(std::clamp(length, 0, int(kReceiveBufferSize))));
    return result;
}
