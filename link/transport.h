// The two ways a frame reaches the unit: the serial line and the TCP
// connection. Transact picks one by the link's mode and works only through this
// interface; each transport keeps its own state.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "link/blowfish.h"
#include "link/result_codes.h"
#include "platform/net.h"
#include "platform/serial_port.h"

class CFerritRemoteControl;
struct ConnectThreadRecord;
using ConnectHandle = uint64_t;           // 0 = no thread
class IUnitEvents;

// The time-out of SerialTimeouts that `which` names (0 read interval, 1 read
// multiplier, 2 read constant, 3 write multiplier, 4 write constant); null for
// any other value.
uint32_t* SerialTimeoutField(SerialTimeouts& t, int which);

// Bytes thrown away before a request beyond which the unit counts as flooding
// the line: far more than any number of late or repeated replies.
inline constexpr long kStaleInputLimit = 16384;

class LinkTransport {
public:
    virtual ~LinkTransport() = default;

    // Whether a frame can go out now: a port is open, a socket is held.
    virtual bool IsOpen() const = 0;
    // Before an exchange: makes the line anew when it is gone and may be made
    // again. False when that was tried and failed.
    virtual bool Reopen() = 0;
    // Throws away everything received and not consumed (a late or repeated
    // reply from an earlier exchange); `discarded` receives how many bytes.
    // False when the unit floods the line.
    virtual bool Purge(long& discarded) = 0;
    // Waits `ms` for anything more from the unit and throws it away: the
    // number of bytes that came.
    virtual long DiscardArriving(uint32_t ms) = 0;
    // One attempt: sends the frame and receives the reply bytes. `deadline`
    // (TickMs) bounds the whole exchange however slowly bytes come: then
    // `received` is empty and `overran` set.
    virtual ResultCode Exchange(const std::string& frame, bool logging, uint64_t deadline, std::string& received,
                                bool& overran) = 0;
    // Whether a request that brought back not a single byte is sent again.
    virtual bool ResendAfterSilence() const = 0;
    // After a resent request was answered: the earlier attempts may still be
    // answered, so the line is left to fall quiet (bounded by `deadline`).
    virtual void SettleAfterResend(uint64_t deadline) = 0;
    // After a reply that failed acceptance: whatever may still follow it must
    // not answer the next request.
    virtual void DropWhatFollows() = 0;
    // After an exchange that ended without an accepted reply (no reply in
    // time, a reply that failed acceptance, a flood): the unit may still answer
    // it, so before the next request the line is left to fall quiet
    // (SettleAfterFailure, bounded by `deadline`).
    virtual void AfterFailure() = 0;
    virtual void SettleAfterFailure(uint64_t deadline) = 0;
    // After an accepted reply: `received` holds the reply up to `replyEnd`
    // and whatever came with it. True when a second frame came with it.
    virtual bool AfterReply(const std::string& received, size_t replyEnd) = 0;
    // When the last attempt's first reply byte came (TickMs); 0 for a
    // transport that takes a reply in one piece, or when none came.
    virtual uint64_t FirstReplyByteMs() const { return 0; }
    // The debug line for received bytes that hold no ETX.
    virtual void TraceNoEtx(size_t bytesRead) const = 0;
    // Closes the port or drops the connection, without log lines.
    virtual void Close() = 0;
    // The unit has restarted (a mode change, factory defaults): a connection
    // it had is gone and is made anew.
    virtual void ReconnectAfterRestart() = 0;
};

class SerialTransport final : public LinkTransport {
public:
    explicit SerialTransport(CFerritRemoteControl& link) : link_(link) {}
    bool IsOpen() const override;
    bool Reopen() override { return true; }   // a port is opened by the operator only
    bool Purge(long& discarded) override;
    long DiscardArriving(uint32_t ms) override;
    ResultCode Exchange(const std::string& frame, bool logging, uint64_t deadline, std::string& received,
                        bool& overran) override;
    bool ResendAfterSilence() const override { return true; }
    void SettleAfterResend(uint64_t deadline) override;
    void DropWhatFollows() override;
    void AfterFailure() override;
    void SettleAfterFailure(uint64_t deadline) override;
    // The line is purged before each request: what follows is found there.
    bool AfterReply(const std::string&, size_t) override { return false; }
    uint64_t FirstReplyByteMs() const override { return firstReplyByteMs_; }
    void TraceNoEtx(size_t bytesRead) const override;
    void Close() override;
    void ReconnectAfterRestart() override {}  // the line outlives a restart

    // Opens COM port `index` (ComPortDevicePath) with the kept baud rate and
    // time-outs, taking back what the device holds as the time-outs; log
    // lines as the link's OpenSerialPort describes.
    ResultCode Open(int index);
    // The operator's close: the port is not looked for again.
    void CloseByOperator();
    // The device went away under the open port: closes it and remembers the
    // port for ReopenLost. False when no port was open.
    bool CloseGone();
    // One look for a vanished port's device; opens it when it is there again.
    bool ReopenLost();
    bool SetBaudRate(uint32_t rate);
    // Writes one time-out (SerialTimeoutField) to the open port and keeps
    // what the port took.
    ResultCode SetTimeout(int which, uint32_t value);
    // The values the next open writes; an open port keeps its own until
    // SetTimeout.
    void KeepTimeouts(const SerialTimeouts& t) { timeouts_ = t; }
    const SerialTimeouts& Timeouts() const { return timeouts_; }
    uint32_t BaudRate() const { return baudRate_; }
    int OpenPortIndex() const { return openPortIndex_; }
    int LostPortIndex() const { return lostPortIndex_; }
    uint32_t ReopenChecks() const { return reopenChecks_.load(); }
    // A port opened through a link made for the moment is not looked for
    // again when its device vanishes.
    void StopFollowingComPort() { followComPort_ = false; }
    // Forgets a vanished port (the link has gone over to Ethernet).
    void ForgetLostPort() { lostPortIndex_ = -1; }
    const SerialPort& Port() const { return port_; }

private:
    // Lets the line fall quiet (bounded by `deadline`) and discards what came.
    void DiscardLateReplies(uint64_t deadline);
    ResultCode ReadReply(bool bulk, bool logging, uint64_t deadline, std::string& received, bool& overran);
    CFerritRemoteControl& link_;
    SerialPort port_;
    SerialTimeouts timeouts_;
    uint32_t baudRate_ = 9600;
    int openPortIndex_ = -1;
    // After an exchange that failed (no reply in time, or a reply that failed
    // acceptance) the unit may still answer it, so the next exchange first
    // lets the line fall quiet.
    bool outOfStep_ = false;
    // Looks for the device of a vanished port (ReopenLost); their pace can be
    // read through ReopenChecks.
    std::atomic<uint32_t> reopenChecks_{0};
    // The COM port whose device vanished and is to be opened again; -1: none.
    int lostPortIndex_ = -1;
    // The path the open port was opened by (ports/COMn or a /dev node), as
    // ComPortDevicePath gave it. A vanished device is looked for at this path
    // only, its link followed anew: a link that is gone is not replaced by the
    // /dev node the COM number would fall back to.
    std::string openDevicePath_;
    uint64_t firstReplyByteMs_ = 0;
    // Whether a vanished device is looked for again.
    bool followComPort_ = true;
};

class TcpTransport final : public LinkTransport {
public:
    explicit TcpTransport(CFerritRemoteControl& link);
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;
    bool IsOpen() const override;
    // With no socket and reconnectSocket set: connects anew, with log lines.
    bool Reopen() override;
    // Also drops a connection left out of step by a failed exchange, and one
    // the unit has closed, so that Reopen makes it anew.
    bool Purge(long& discarded) override;
    long DiscardArriving(uint32_t ms) override;
    ResultCode Exchange(const std::string& frame, bool logging, uint64_t deadline, std::string& received,
                        bool& overran) override;
    bool ResendAfterSilence() const override { return false; }
    void SettleAfterResend(uint64_t) override {}   // never resends
    void DropWhatFollows() override;
    // A failed exchange marks the connection out of step itself, and Purge
    // drops such a connection: nothing to wait for.
    void AfterFailure() override {}
    void SettleAfterFailure(uint64_t) override {}
    bool AfterReply(const std::string& received, size_t replyEnd) override;
    void TraceNoEtx(size_t bytesRead) const override;
    // Shuts down and closes the link's socket, if any; leaves `connected` alone.
    void Close() override;
    void ReconnectAfterRestart() override { Connect(); }

    // Drops the socket and connects anew: 0 (then `connected` is 1) or the
    // socket layer's error number (then the link has no socket).
    int Connect();

    void SetAddress(const std::string& ipAddress) { ipAddress_ = ipAddress.substr(0, 15); }
    const std::string& Address() const { return ipAddress_; }
    bool HasSocket() const { return socket_.load() != kNoSocket; }
    SocketHandle Socket() const { return socket_.load(); }
    // Whether a failed send or receive closes the connection (and connects
    // anew when reconnecting is on), and whether an exchange without a
    // socket connects anew first.
    void SetCloseOnErrors(bool onSend, bool onReceive) {
        closeOnSendError_ = onSend;
        closeOnReceiveError_ = onReceive;
    }
    void SetReconnect(bool reconnect) { reconnectSocket_ = reconnect; }

    // The cancellable connect threads (the link's StartConnectThread and
    // its kin).
    ConnectHandle StartConnectThread(IUnitEvents* notifyWindow, IUnitEvents* waitWindow);
    void CancelConnectThread(ConnectHandle handle);
    void RemoveConnectThread(ConnectHandle handle);
    size_t ConnectThreadCount();
    // Cancels the connect threads and waits until each has ended.
    void EndConnectThreads();
    std::mutex& ConnectThreadsLock() { return connectThreadsLock_; }

private:
    enum class Stage { Ok, Socket, Option, Connect };
    // Steps of making a TCP connection: socket, 1,500 ms receive time-out,
    // bounded connect to port 9999. On failure the new socket is closed and
    // `error` holds the socket layer's error number.
    static Stage MakeConnection(const std::string& ip, SocketHandle& out, int& error);
    // Stores a new socket in the link unless it already has one (then the new
    // one is closed).
    void Adopt(SocketHandle s);
    // Reconnection before an exchange, with its log lines.
    bool ReconnectLogged();
    // The immediate reconnection after a failed send or receive, with its
    // debug lines. Returns the stage that failed.
    Stage ReconnectQuiet();
    // Error handling after a failed send (`sending`) or receive.
    ResultCode Failed(bool sending, int error, bool connectionGone);
    CFerritRemoteControl& link_;
    std::string ipAddress_;               // at most 15 characters
    std::atomic<SocketHandle> socket_{kNoSocket};
    // Set when the socket may still bring a reply that belongs to no later
    // request (after a receive that failed or timed out, or a reply that failed
    // acceptance): the next exchange drops it and connects anew first.
    std::atomic<bool> outOfStep_{false};
    bool closeOnSendError_ = true;
    bool closeOnReceiveError_ = true;
    bool reconnectSocket_ = true;
    Blowfish blowfish_;
    std::list<std::unique_ptr<ConnectThreadRecord>> connectThreads_;
    std::mutex connectThreadsLock_;       // guards connectThreads_
    std::condition_variable connectThreadsChanged_;
    ConnectHandle nextConnectHandle_ = 1;
};
