// The serial transport: a request written in one call, its reply read a byte at
// a time, the receive side purged before every request.
#include "link/frame.h"
#include "link/remote_control.h"
#include "link/transaction_log.h"
#include "link/transport.h"
#include "platform/clock.h"
#include "platform/debug_out.h"

namespace {

constexpr size_t kBulkReadSpan = 135;        // a bulk read ignores ETX and silence before this
constexpr size_t kStxSearchLimit = 32;       // more bytes than this without an STX fail the read
constexpr int kBulkSilentReadsLimit = 3;     // silent reads in a row that end a bulk read early
constexpr uint32_t kQuietLineMs = 500;       // quiet line with no read interval time-out set

}  // namespace

bool SerialTransport::IsOpen() const { return link_.serialHandle.IsOpen(); }

ResultCode SerialTransport::ReadReply(bool bulk, bool logging, uint64_t deadline, std::string& received,
                                      bool& overran) {
    received.clear();
    overran = false;
    const uint64_t start = TickMs();
    bool stxSeen = false;
    bool bulkActive = bulk;
    int silentReads = 0;
    for (;;) {
        uint8_t byte = 0;
        const int got = link_.serialHandle.ReadByte(byte, deadline);
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
        std::ofstream* log = link_.logFile.get();
        LogPrintf(log, "%d bytes (%.2lfs) ", int(received.size()), double(TickMs() - start) / 1000.0);
        LogHexDump(log, reinterpret_cast<const uint8_t*>(received.data()), received.size());
    }
    return kResultOk;
}

ResultCode SerialTransport::Exchange(const std::string& frame, bool logging, uint64_t deadline,
                                     std::string& received, bool& overran) {
    ResultCode rc = kErrWrite;
    if (link_.serialHandle.Write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size())) {
        if (logging) LogPrintf(link_.logFile.get(), "Response: ");
        rc = ReadReply(IsBulkRead(frame), logging, deadline, received, overran);
    }
    if (rc != kResultOk) DropWhatFollows();
    return rc;
}

bool SerialTransport::Purge(long& discarded) {
    discarded = 0;
    if (!link_.serialHandle.IsOpen()) return true;
    const long stale = link_.serialHandle.DiscardReceived(kStaleInputLimit);
    if (stale > 0) DebugOut("Discarded %ld stale bytes\r\n", stale);
    if (stale < 0) {
        DebugOut("Unit floods the line\r\n");
        return false;
    }
    discarded = stale;
    return true;
}

long SerialTransport::DiscardArriving(uint32_t ms) {
    if (!link_.serialHandle.IsOpen()) return 0;
    const long late = link_.serialHandle.DiscardUntilQuiet(ms, TickMs() + ms);
    if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
    return late > 0 ? late : 0;
}

// The line counts as quiet after the read-interval time-out, the greatest gap
// between two bytes of one reply.
void SerialTransport::DiscardLateReplies(uint64_t deadline) {
    const uint32_t quiet = link_.readIntervalTimeout != 0 ? link_.readIntervalTimeout : kQuietLineMs;
    const long late = link_.serialHandle.DiscardUntilQuiet(quiet, deadline);
    if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
}

void SerialTransport::SettleAfterResend(uint64_t deadline) { DiscardLateReplies(deadline); }

void SerialTransport::SettleAfterFailure(uint64_t deadline) {
    if (!link_.serialOutOfStep || !link_.serialHandle.IsOpen()) return;
    link_.serialOutOfStep = false;
    DiscardLateReplies(deadline);
}

void SerialTransport::DropWhatFollows() { link_.serialHandle.DiscardReceived(kStaleInputLimit); }

void SerialTransport::TraceNoEtx(size_t bytesRead) const {
    DebugOut("No ETX. dwBytesRead = %d\r\n", int(bytesRead));
}

void SerialTransport::Close() { link_.serialHandle.Close(); }

void SerialTransport::AfterFailure() {
    link_.serialOutOfStep = true;
    if (!link_.serialHandle.IsOpen()) return;
    // A failed exchange on a device that has gone (the line reports it, or
    // the COM port's node or link target is no longer there) ends the port.
    const bool nodeGone =
        link_.followComPort && !link_.openDevicePath.empty() && !DevicePathPresent(link_.openDevicePath);
    if (link_.serialHandle.DeviceGone() || nodeGone) link_.SerialDeviceGone();
}
