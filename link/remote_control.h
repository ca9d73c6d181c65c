// The program's one connection to the receiver unit: serial or Ethernet
// transport, the transaction with its retries and the transaction log.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/blowfish.h"
#include "link/unit_events.h"
#include "link/result_codes.h"
#include "link/transport.h"
#include "link/unit_reply.h"
#include "platform/net.h"
#include "platform/serial_port.h"

enum LinkMode : int { LinkModeSerial = 0, LinkModeEthernet = 1 };

inline constexpr uint16_t kUnitTcpPort = 9999;
inline constexpr uint32_t kSocketReceiveTimeoutMs = 1500;
// Bound on one TCP connection attempt (the connect thread also stops at once
// when it is cancelled).
inline constexpr uint32_t kConnectTimeoutMs = 5000;
// Silence of the unit while it restarts after a mode change or factory defaults.
inline constexpr uint32_t kUnitRestartWaitMs = 7000;

// One per started connect thread; owned by the TCP transport's list until
// the thread removes it as its last step.
struct ConnectThreadRecord {
    std::string ipAddress;                // copy of the link's ipAddress at start
    std::atomic<SocketHandle>* socketSlot = nullptr;  // where a connected socket is stored
    std::atomic<int> cancelled{0};        // set to 1 to cancel the attempt
    IUnitEvents* notifyWindow = nullptr;
    IUnitEvents* waitWindow = nullptr;    // may be null
    ConnectHandle threadHandle = 0;
    TcpTransport* owner = nullptr;
    std::thread thread;                   // detached by RemoveConnectThread
};

class CFerritRemoteControl {
public:
    explicit CFerritRemoteControl(IUnitEvents* mainWindow);
    virtual ~CFerritRemoteControl();
    CFerritRemoteControl(const CFerritRemoteControl&) = delete;
    CFerritRemoteControl& operator=(const CFerritRemoteControl&) = delete;

    // Transaction log
    void OpenLog(const std::string& fileName);
    // The same lines into `sink` instead of a file of the link's own (a
    // program's own file handling: stamps, rotation). `sink` outlives the link's
    // use of it; `name` is what LogFileName() tells.
    void OpenLog(std::streambuf* sink, const std::string& name);

    // The link's two locks, both recursive: LinkMutex around every exchange
    // (Exchange, ProbeUnit), PollGate to keep the poll thread out of a
    // sequence. PollGate is always taken before LinkMutex. Each link has its
    // own pair.
    std::recursive_mutex& LinkMutex() const { return linkMutex_; }
    std::recursive_mutex& PollGate() const { return pollGate_; }

    // The port and socket operations below take LinkMutex themselves, so they
    // never run in the middle of another thread's exchange.

    // Serial transport
    ResultCode OpenSerialPort(int portIndex);
    // The operator's close: the port is not opened again by itself.
    void CloseSerialPort();
    // The serial device went away under an open port (an adapter unplugged,
    // its node or the target of its ports/COMn link gone). The caller holds
    // LinkMutex. Closes the descriptor, clears `connected`, tells
    // LinkLost and remembers the port for ReopenLostPort.
    void SerialDeviceGone();
    // While a vanished port's COM number has no open port: looks once whether
    // a device is there again at its path (a ports/COMn link followed anew)
    // and, when it is, opens it with the link's baud rate and time-outs. True when the
    // port is open again. The poll cycle calls it at most once per cycle, so
    // an absent device costs one look per poll interval.
    bool ReopenLostPort();
    bool IsConnected() const;
    // The speed of the line, applied at once to an open port.
    bool SetBaudRate(uint32_t baudRate);
    uint32_t BaudRate() const { return serial_.BaudRate(); }
    // Writes one time-out (SerialTimeoutField's `which`) to the open port.
    ResultCode SetCommTimeout(int which, uint32_t value);
    // The five serial time-outs as the link keeps them: what the next open
    // writes, and after an open what the port took. SetCommTimeouts leaves an
    // open port alone.
    SerialTimeouts CommTimeouts() const { return serial_.Timeouts(); }
    void SetCommTimeouts(const SerialTimeouts& timeouts);
    // The COM port last asked for, the one open (-1: none) and a vanished
    // one looked for again (-1: none), and how many looks there have been.
    int PortIndex() const { return portIndex_; }
    int OpenPortIndex() const { return serial_.OpenPortIndex(); }
    int LostPortIndex() const { return serial_.LostPortIndex(); }
    uint32_t ReopenChecks() const { return serial_.ReopenChecks(); }
    // A port opened through a link made for the moment (the tool's --serial
    // PATH): its vanished device is not looked for again.
    void StopFollowingComPort() { serial_.StopFollowingComPort(); }
    const SerialPort& SerialLine() const { return serial_.Port(); }

    // Ethernet transport
    void SelectEthernet(const std::string& ipAddress);
    void CloseEthernet();
    int ConnectSocket();                  // 0 or the socket layer's error number
    // Starts a connect attempt on its own thread, which tells notifyWindow
    // ConnectDone (and waits for it) unless cancelled. Returns
    // 0 and starts nothing when the link already has a socket.
    ConnectHandle StartConnectThread(IUnitEvents* notifyWindow, IUnitEvents* waitWindow);
    void CancelConnectThread(ConnectHandle handle);
    // Called by a connect thread as its last step; a call from any other thread
    // does nothing (a running thread's record is never pulled away).
    void RemoveConnectThread(ConnectHandle handle);
    bool HasSocket() const { return tcp_.HasSocket(); }
    SocketHandle Socket() const { return tcp_.Socket(); }
    const std::string& IpAddress() const { return tcp_.Address(); }
    // Whether a failed send or receive closes the TCP connection (both on
    // by default; the program and the tools turn them off).
    void SetCloseOnErrors(bool onSend, bool onReceive) { tcp_.SetCloseOnErrors(onSend, onReceive); }
    // Whether an exchange without a socket connects anew first (on by default).
    void SetReconnectSocket(bool reconnect) { tcp_.SetReconnect(reconnect); }
    size_t ConnectThreadCount() { return tcp_.ConnectThreadCount(); }
    // Test aid: runs as StartConnectThread begins, before it looks for a
    // socket (a place to let another thread's exchange get there first).
    void SetConnectAttemptHook(std::function<void()> hook) { onConnectAttemptStart_ = std::move(hook); }

    // After the unit has restarted: over Ethernet the connection is made anew
    // (as ConnectSocket); over the serial line nothing is done.
    void ReconnectAfterRestart();
    // Waits out the unit's restart (FixedWait(kUnitRestartWaitMs)), then
    // ReconnectAfterRestart.
    void WaitForRestart();

    // The one exchange with the unit: sends `request`, waits for one reply,
    // checks it and returns the result code with the reply's status and data.
    // Takes the locks `locks` names for exactly its length. A request longer
    // than a frame can carry is refused with kErrInvalidCommand before
    // anything is sent or logged. Over TCP, bytes left over from an earlier
    // reply are discarded before sending, and a connection the unit has
    // closed is dropped (and made anew when reconnectSocket is set) whatever
    // the close flags say.
    UnitReply Exchange(const std::string& request, uint8_t logLevel = 1, ExchangeLocks locks = ExchangeLocks::Link);
    // Exchange in the buffer form: status/data/length are written only on
    // success; data holds at least 256 bytes. The caller holds LinkMutex.
    ResultCode Transact(const char* request, int* status, char* data, int* length, uint8_t logLevel);
    // Replies the unit sent that no request asked for, as far as the link can
    // tell them: bytes found waiting before a request that followed an
    // accepted reply, a second frame behind an accepted reply, and bytes that
    // came during ExpectQuiet. Replies carry no request number, so a copy that
    // arrives after the next request has gone out is taken as its answer; the
    // shift it starts shows here at the end of the run at the latest.
    uint64_t UnrequestedReplies() const { return unrequestedReplies_.load(); }
    // After the last exchange of an operation of several: throws away what is
    // waiting, then waits `ms` for anything more from the unit (or twice the
    // slowest answer since it last listened, up to 2 s, when that is longer:
    // a late copy is as late as the answers were), counting what comes. Nothing is waited for after a failed exchange (its own settling
    // takes care of late replies). Takes LinkMutex.
    void ExpectQuiet(uint32_t ms);
    // Operations under way that watch for unrequested replies (they nest):
    // true for the outermost.
    bool BeginUnrequestedWatch() { return unrequestedWatches_.fetch_add(1) == 0; }
    void EndUnrequestedWatch() { unrequestedWatches_.fetch_sub(1); }
    // Exchanges made since the link last listened (ExpectQuiet).
    uint64_t ExchangesSinceQuiet() const { return exchangesSinceQuiet_.load(); }
    // "9999rgadd;;" with log level 1; sets connected from the result.
    ResultCode ProbeUnit();

    LinkMode Mode() const { return mode_.load(); }
    // 1 while the unit answers (serial) or the connection stands (TCP).
    int Connected() const { return connected_.load(); }
    void SetConnected(int value) { connected_ = value; }
    // The last request sent (STX to ETX), and the received text of the last
    // reply up to and including its ETX, with its length. Read under LinkMutex.
    const std::string& LastRequest() const { return lastRequest_; }
    const std::string& LastReply() const { return lastReply_; }
    int LastReplyLength() const { return lastReplyLength_; }
    // Silent attempts in a row (serial); three count the unit as gone.
    int EmptyReplyCount() const { return emptyReplyCount_; }
    const std::string& LogFileName() const { return logFileName_; }
    // The open transaction log, or null.
    std::ofstream* LogFile() const { return logFile_.get(); }

private:
    // The exchange itself, the caller holding LinkMutex: the result code, and
    // on success the reply in `out`.
    ResultCode ExchangeHeld(const std::string& request, uint8_t logLevel, UnitReply& out);
    // The transport of the selected mode; Transact works only through it.
    LinkTransport& SelectedTransport() {
        if (mode_ == LinkModeSerial) return serial_;
        return tcp_;
    }
    // Counts `discarded` bytes as an unrequested reply when they followed an
    // accepted reply.
    void NoteDiscarded(long discarded, bool afterAnswer);
    IUnitEvents* mainWindow;
    mutable std::recursive_mutex linkMutex_;
    mutable std::recursive_mutex pollGate_;
    std::function<void()> onConnectAttemptStart_;
    std::string lastRequest_;
    std::string lastReply_;
    int lastReplyLength_ = 0;
    std::string logFileName_;
    std::atomic<LinkMode> mode_{LinkModeSerial};
    std::atomic<int> connected_{0};
    int portIndex_ = -1;
    std::unique_ptr<std::ofstream> logFile_;
    int emptyReplyCount_ = 0;
    std::atomic<int> unrequestedWatches_{0};
    std::atomic<uint64_t> unrequestedReplies_{0};
    std::atomic<uint64_t> exchangesSinceQuiet_{0};
    bool lastAnswered_ = false;   // the last exchange brought an accepted reply (under LinkMutex)
    uint64_t slowestAnswerMs_ = 0;   // the slowest answered exchange since the link last listened (under LinkMutex)
    SerialTransport serial_{*this};
    TcpTransport tcp_{*this};
};

// Exchange under LinkMutex, by its older name. On success `status` and `data`
// (when given) receive the reply.
inline ResultCode TransactLocked(CFerritRemoteControl& link, const std::string& request, int* status = nullptr,
                                 std::string* data = nullptr, uint8_t logLevel = 1) {
    UnitReply reply = link.Exchange(request, logLevel);
    if (!reply.Answered()) return reply.result;
    if (status) *status = reply.status;
    if (data) *data = std::move(reply.data);
    return reply.result;
}
