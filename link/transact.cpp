// One exchange with the unit over the selected transport, with its retries, result
// codes and transaction log.
#include <algorithm>
#include <cstring>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/transaction_log.h"
#include "link/transport.h"
#include "platform/clock.h"
#include "platform/debug_out.h"

namespace {

constexpr int kEmptyRepliesUntilLost = 3;
constexpr uint64_t kLongestQuietCheckMs = 2000;
// One serial exchange ends at the latest this long beyond the line time of a
// full 256-byte reply, however slowly the bytes trickle in.
constexpr uint64_t kSerialExchangeSlackMs = 10000;
constexpr uint64_t kBitsPerSerialByte = 10;   // start bit, 8 data bits, stop bit

uint64_t SerialExchangeBoundMs(uint32_t baudRate) {
    const uint64_t rate = baudRate == 0 ? 1 : baudRate;
    const uint64_t lineMs = (kReceiveBufferSize * kBitsPerSerialByte * 1000 + rate - 1) / rate;
    return kSerialExchangeSlackMs + lineMs;
}

}  // namespace

UnitReply CFerritRemoteControl::Exchange(const std::string& request, uint8_t logLevel, ExchangeLocks locks) {
    std::unique_lock<std::recursive_mutex> gate(pollGate_, std::defer_lock);
    std::unique_lock<std::recursive_mutex> linkLock(linkMutex_, std::defer_lock);
    if (locks == ExchangeLocks::PollGateAndLink) gate.lock();
    if (locks != ExchangeLocks::Held) linkLock.lock();
    UnitReply out;
    const uint64_t start = TickMs();
    out.result = ExchangeHeld(request, logLevel, out);
    lastAnswered_ = out.result == kResultOk;
    if (lastAnswered_) {
        // How long the unit took to start answering: a late copy follows its
        // reply by about that. The reply's own line time (up to 270 ms on a
        // 9600-baud line) says nothing of it, so a serial reply counts up to
        // its first byte; a TCP reply comes in one piece.
        const uint64_t firstByte = SelectedTransport().FirstReplyByteMs();
        const uint64_t answered = firstByte >= start ? firstByte : TickMs();
        slowestAnswerMs_ = std::max(slowestAnswerMs_, answered - start);
    }
    ++exchangesSinceQuiet_;
    return out;
}

void CFerritRemoteControl::NoteDiscarded(long discarded, bool afterAnswer) {
    if (discarded <= 0 || !afterAnswer) return;
    ++unrequestedReplies_;
    DebugOut("The unit sent %ld bytes that were not asked for\r\n", discarded);
    if (logFile_) {
        LogTimeStamped(logFile_.get(), "Discarded bytes not asked for\r\n");
        LogFlush(logFile_.get());
    }
}

void CFerritRemoteControl::ExpectQuiet(uint32_t ms) {
    std::lock_guard<std::recursive_mutex> lock(linkMutex_);
    if (!lastAnswered_) {
        if (ms != 0) {
            exchangesSinceQuiet_ = 0;
            slowestAnswerMs_ = 0;
        }
        return;
    }
    LinkTransport& line = SelectedTransport();
    long discarded = 0;
    if (!line.Purge(discarded)) {
        lastAnswered_ = false;
        return;
    }
    NoteDiscarded(discarded, lastAnswered_);
    if (ms != 0) {
        // A late copy comes about as late as the unit's answers came: on a
        // slow network or a busy machine, listen for twice the slowest.
        const uint64_t slowest = std::min<uint64_t>(2 * slowestAnswerMs_, kLongestQuietCheckMs);
        NoteDiscarded(line.DiscardArriving(std::max<uint32_t>(ms, uint32_t(slowest))), lastAnswered_);
        exchangesSinceQuiet_ = 0;
        slowestAnswerMs_ = 0;
    }
}

ResultCode CFerritRemoteControl::Transact(const char* request, int* status, char* data, int* length,
                                          uint8_t logLevel) {
    if (!request) return kErrInvalidCommand;
    const UnitReply reply = Exchange(request, logLevel, ExchangeLocks::Held);
    if (!reply.Answered()) return reply.result;
    std::memcpy(data, reply.data.data(), reply.data.size());
    data[reply.data.size()] = '\0';
    *status = reply.status;
    *length = int(reply.data.size());
    return kResultOk;
}

ResultCode CFerritRemoteControl::ExchangeHeld(const std::string& request, uint8_t logLevel, UnitReply& out) {
    std::string frame;
    // A request a frame cannot carry is refused before anything is sent or logged.
    if (!BuildRequestFrame(request, frame)) return kErrInvalidCommand;

    std::ofstream* log = logFile_.get();
    const bool logging = log && logLevel != 0;
    auto finish = [&](ResultCode code) {
        if (logging) {
            LogPrintf(log, "Returning with error code %x\r\n", code);
            LogFlush(log);
        }
        return code;
    };

    LinkTransport& line = SelectedTransport();
    // Whatever ends the exchange short of an accepted reply leaves the line out
    // of step: the unit may still answer this request.
    auto fail = [&](ResultCode code) {
        line.AfterFailure();
        return finish(code);
    };
    // Replies to an earlier exchange that failed may still be on their way, and
    // whatever the line still holds belongs to no request of ours.
    line.SettleAfterFailure(TickMs() + SerialExchangeBoundMs(serial_.BaudRate()));
    long stale = 0;
    if (!line.Purge(stale)) return fail(kErrRead);
    NoteDiscarded(stale, lastAnswered_);
    if (!line.Reopen()) return finish(kErrNoConnection);
    if (!line.IsOpen()) return finish(kErrNoConnection);

    std::string received;
    // One bound for the whole exchange, however many attempts it takes.
    const uint64_t deadline = TickMs() + SerialExchangeBoundMs(serial_.BaudRate());
    bool retried = false;
    for (;;) {
        if (retried && !line.Purge(stale)) return fail(kErrRead);
        if (logging) {
            const bool mask = logLevel >= 2;
            const auto* bytes = reinterpret_cast<const uint8_t*>(frame.data());
            LogTimeStamped(log, "Sending message: ");
            LogHexDump(log, bytes, frame.size(), mask);
            LogCharDump(log, bytes, frame.size(), mask);
            LogPrintf(log, "\r\n");
        }
        lastRequest_ = frame;
        bool overran = false;
        const ResultCode rc = line.Exchange(frame, logging, deadline, received, overran);
        if (rc != kResultOk) return fail(rc);
        if (!line.ResendAfterSilence()) break;
        if (!received.empty()) {
            emptyReplyCount_ = 0;
            if (retried) {
                // The earlier attempts may still be answered: their replies
                // must not meet the next request, so let the line fall quiet.
                line.SettleAfterResend(deadline);
            }
            break;
        }
        // Not a single byte came back, or the exchange ran out of time (then
        // there is no time left for another attempt).
        if (overran) emptyReplyCount_ = kEmptyRepliesUntilLost;
        if (connected_ != 0 && ++emptyReplyCount_ < kEmptyRepliesUntilLost) {
            retried = true;
            if (logging) LogPrintf(log, "Retry sending message\r\n");
            continue;
        }
        connected_ = 0;
        if (mainWindow) mainWindow->LinkLost();
        return fail(kErrTimedOut);
    }

    std::string kept;
    ParsedReply reply;
    const ResultCode rc =
        AcceptReply(reinterpret_cast<const uint8_t*>(received.data()), received.size(), kept, reply);
    if (!kept.empty()) {
        lastReply_ = kept;
        lastReplyLength_ = int(kept.size());
        if (logging) {
            LogBytes(log, kept);
            LogPrintf(log, "\r\n");
        }
    }
    if (rc == kErrNoEtx) line.TraceNoEtx(received.size());
    if (rc != kResultOk) {
        // A reply that fails acceptance leaves the exchanges out of step: drop
        // what may still follow it (TCP: the connection itself, made anew by
        // the next exchange).
        line.DropWhatFollows();
        return fail(rc);
    }
    if (line.AfterReply(received, kept.size())) NoteDiscarded(long(received.size() - kept.size()), true);

    // The data fits the callers' 256-byte buffers with its terminator.
    if (reply.data.size() >= kReceiveBufferSize) reply.data.resize(kReceiveBufferSize - 1);
    out.data = std::move(reply.data);
    out.status = char(reply.status);
    connected_ = 1;
    if (logging) {
        LogPrintf(log, "Returning OK\r\n");
        LogFlush(log);
    }
    return kResultOk;
}
