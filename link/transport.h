// The two ways a frame reaches the unit: the serial line and the TCP
// connection. Transact picks one by the link's mode and works only through this
// interface; each transport keeps its state in the link object's own fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/result_codes.h"
#include "platform/net.h"

class CFerritRemoteControl;

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
    void TraceNoEtx(size_t bytesRead) const override;
    void Close() override;
    void ReconnectAfterRestart() override {}  // the line outlives a restart

private:
    // Lets the line fall quiet (bounded by `deadline`) and discards what came.
    void DiscardLateReplies(uint64_t deadline);
    ResultCode ReadReply(bool bulk, bool logging, uint64_t deadline, std::string& received, bool& overran);
    CFerritRemoteControl& link_;
};

class TcpTransport final : public LinkTransport {
public:
    explicit TcpTransport(CFerritRemoteControl& link) : link_(link) {}
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
};
