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

uint32_t* SerialTimeoutField(SerialTimeouts& t, int which) {
    switch (which) {
    case 0: return &t.readInterval;
    case 1: return &t.readTotalMultiplier;
    case 2: return &t.readTotalConstant;
    case 3: return &t.writeTotalMultiplier;
    case 4: return &t.writeTotalConstant;
    default: return nullptr;
    }
}

bool SerialTransport::IsOpen() const { return port_.IsOpen(); }

ResultCode SerialTransport::ReadReply(bool bulk, bool logging, uint64_t deadline, std::string& received,
                                      bool& overran) {
    received.clear();
    overran = false;
    firstReplyByteMs_ = 0;
    const uint64_t start = TickMs();
    bool stxSeen = false;
    bool bulkActive = bulk;
    int silentReads = 0;
    for (;;) {
        uint8_t byte = 0;
        const int got = port_.ReadByte(byte, deadline);
        if (got < 0) return kErrRead;
        if (got == 1) {
            silentReads = 0;
            if (byte == kStx) stxSeen = true;
            received.push_back(char(byte));
            if (received.size() == 1) firstReplyByteMs_ = TickMs();
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
        std::ofstream* log = link_.LogFile();
        LogPrintf(log, "%d bytes (%.2lfs) ", int(received.size()), double(TickMs() - start) / 1000.0);
        LogHexDump(log, reinterpret_cast<const uint8_t*>(received.data()), received.size());
    }
    return kResultOk;
}

ResultCode SerialTransport::Exchange(const std::string& frame, bool logging, uint64_t deadline,
                                     std::string& received, bool& overran) {
    ResultCode rc = kErrWrite;
    if (port_.Write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size())) {
        if (logging) LogPrintf(link_.LogFile(), "Response: ");
        rc = ReadReply(IsBulkRead(frame), logging, deadline, received, overran);
    }
    if (rc != kResultOk) DropWhatFollows();
    return rc;
}

bool SerialTransport::Purge(long& discarded) {
    discarded = 0;
    if (!port_.IsOpen()) return true;
    const long stale = port_.DiscardReceived(kStaleInputLimit);
    if (stale > 0) DebugOut("Discarded %ld stale bytes\r\n", stale);
    if (stale < 0) {
        DebugOut("Unit floods the line\r\n");
        return false;
    }
    discarded = stale;
    return true;
}

long SerialTransport::DiscardArriving(uint32_t ms) {
    if (!port_.IsOpen()) return 0;
    const long late = port_.DiscardUntilQuiet(ms, TickMs() + ms);
    if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
    return late > 0 ? late : 0;
}

// The line counts as quiet after the read-interval time-out, the greatest gap
// between two bytes of one reply.
void SerialTransport::DiscardLateReplies(uint64_t deadline) {
    const uint32_t quiet = timeouts_.readInterval != 0 ? timeouts_.readInterval : kQuietLineMs;
    const long late = port_.DiscardUntilQuiet(quiet, deadline);
    if (late > 0) DebugOut("Discarded %ld late bytes\r\n", late);
}

void SerialTransport::SettleAfterResend(uint64_t deadline) { DiscardLateReplies(deadline); }

void SerialTransport::SettleAfterFailure(uint64_t deadline) {
    if (!outOfStep_ || !port_.IsOpen()) return;
    outOfStep_ = false;
    DiscardLateReplies(deadline);
}

void SerialTransport::DropWhatFollows() { port_.DiscardReceived(kStaleInputLimit); }

void SerialTransport::TraceNoEtx(size_t bytesRead) const {
    DebugOut("No ETX. dwBytesRead = %d\r\n", int(bytesRead));
}

void SerialTransport::Close() { port_.Close(); }

void SerialTransport::AfterFailure() {
    outOfStep_ = true;
    if (!port_.IsOpen()) return;
    // A failed exchange on a device that has gone (the line reports it, or
    // the COM port's node or link target is no longer there) ends the port.
    const bool nodeGone = followComPort_ && !openDevicePath_.empty() && !DevicePathPresent(openDevicePath_);
    if (port_.DeviceGone() || nodeGone) link_.SerialDeviceGone();
}

ResultCode SerialTransport::Open(int index) {
    std::ofstream* log = link_.LogFile();
    LogPrintf(log, "Opening COM%d\r\n", index + 1);

    auto fail = [log](ResultCode code) {
        LogPrintf(log, "Returning with error code %x\r\n", code);
        LogFlush(log);
        return code;
    };
    if (port_.IsOpen()) return fail(kErrAlreadyConnected);
    const std::string device = ComPortDevicePath(index);
    if (!port_.Open(device)) return fail(kErrOpenPort);
    outOfStep_ = false;   // a port opened anew owes no earlier exchange anything
    if (!port_.SetLine(baudRate_)) {
        CloseByOperator();
        return fail(kErrCommState);
    }
    SerialTimeouts written;
    if (!port_.SetTimeouts(timeouts_) || !port_.GetTimeouts(written)) {
        CloseByOperator();
        return fail(kErrTimeouts);
    }
    timeouts_ = written;
    openPortIndex_ = index;
    openDevicePath_ = device;
    lostPortIndex_ = -1;
    LogPrintf(log, "Returning OK\r\n");
    LogFlush(log);
    return kResultOk;
}

void SerialTransport::CloseByOperator() {
    lostPortIndex_ = -1;
    openDevicePath_.clear();
    if (port_.IsOpen()) {
        LogPrintf(link_.LogFile(), "Port closed\r\n");
        port_.Close();
    }
    DebugOut("Serial port closed\r\n");
}

bool SerialTransport::CloseGone() {
    if (!port_.IsOpen()) return false;
    const int index = openPortIndex_;
    LogPrintf(link_.LogFile(), "COM%d: device gone, port closed\r\n", index + 1);
    LogFlush(link_.LogFile());
    DebugOut("COM%d: device gone, port closed\r\n", index + 1);
    port_.Close();
    outOfStep_ = false;
    lostPortIndex_ = followComPort_ ? index : -1;
    return true;
}

bool SerialTransport::ReopenLost() {
    if (port_.IsOpen() || lostPortIndex_ < 0) return false;
    ++reopenChecks_;
    // Nothing there yet: no open attempt, no log line.
    if (!DevicePathPresent(openDevicePath_)) return false;
    const int index = lostPortIndex_;
    // The COM number must still lead to the same path (no link now where a
    // /dev node was, or the other way round).
    if (ComPortDevicePath(index) != openDevicePath_) return false;
    if (link_.OpenSerialPort(index) != kResultOk) {
        lostPortIndex_ = index;   // still lost: looked for again next time
        return false;
    }
    DebugOut("COM%d: device back, port opened again\r\n", index + 1);
    return true;
}

bool SerialTransport::SetBaudRate(uint32_t rate) {
    baudRate_ = rate;
    if (!port_.IsOpen()) return true;
    return port_.SetLine(rate);
}

ResultCode SerialTransport::SetTimeout(int which, uint32_t value) {
    if (!port_.IsOpen()) return kErrNoConnection;
    SerialTimeouts t;
    if (!port_.GetTimeouts(t)) return kErrTimeouts;
    // Any other `which` rewrites the five unchanged.
    if (uint32_t* field = SerialTimeoutField(t, which)) *field = value;
    if (!port_.SetTimeouts(t)) return kErrTimeouts;
    timeouts_ = t;
    return kResultOk;
}
