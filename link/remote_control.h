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

using ConnectHandle = uint64_t;           // 0 = no thread
class CFerritRemoteControl;

// One per started connect thread; owned by the link's connectThreads list until
// the thread removes it as its last step.
struct ConnectThreadRecord {
    std::string ipAddress;                // copy of the link's ipAddress at start
    std::atomic<SocketHandle>* socketSlot = nullptr;  // where a connected socket is stored
    std::atomic<int> cancelled{0};        // set to 1 to cancel the attempt
    IUnitEvents* notifyWindow = nullptr;
    IUnitEvents* waitWindow = nullptr;    // may be null
    ConnectHandle threadHandle = 0;
    CFerritRemoteControl* owner = nullptr;
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

    // The port and socket operations below take LinkLock themselves, so they
    // never run in the middle of another thread's exchange.

    // Serial transport
    ResultCode OpenSerialPort(int portIndex);
    // The operator's close: the port is not opened again by itself.
    void CloseSerialPort();
    // The serial device went away under an open port (an adapter unplugged,
    // its node or the target of its ports/COMn link gone). The caller holds
    // LinkLock. Closes the descriptor, clears `connected`, posts
    // LinkLost and remembers the port for ReopenLostPort.
    void SerialDeviceGone();
    // While a vanished port's COM number has no open port: looks once whether
    // a device is there again at its path (a ports/COMn link followed anew)
    // and, when it is, opens it with the link's baud rate and time-outs. True when the
    // port is open again. The poll cycle calls it at most once per cycle, so
    // an absent device costs one look per poll interval.
    bool ReopenLostPort();
    bool IsConnected() const;
    bool SetBaudRate(uint32_t baudRate);
    ResultCode SetCommTimeout(int which, uint32_t value);

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
    bool HasSocket() const { return socket.load() != kNoSocket; }

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
    // success; data holds at least 256 bytes. The caller holds LinkLock.
    ResultCode Transact(const char* request, int* status, char* data, int* length, uint8_t logLevel);
    // Replies the unit sent that no request asked for, as far as the link can
    // tell them: bytes found waiting before a request that followed an
    // accepted reply, a second frame behind an accepted reply, and bytes that
    // came during ExpectQuiet. Replies carry no request number, so a copy that
    // arrives after the next request has gone out is taken as its answer; the
    // shift it starts shows here at the end of the run at the latest.
    uint64_t UnrequestedReplies() const { return unrequestedReplies_.load(); }
    // After the last exchange of an operation of several: throws away what is
    // waiting, then waits `ms` for anything more from the unit, counting what
    // comes. Nothing is waited for after a failed exchange (its own settling
    // takes care of late replies). Takes LinkLock.
    void ExpectQuiet(uint32_t ms);
    // Operations under way that watch for unrequested replies (they nest),
    // and exchanges made since the link last listened (ExpectQuiet).
    std::atomic<int> unrequestedWatches{0};
    uint64_t ExchangesSinceQuiet() const { return exchangesSinceQuiet_.load(); }
    // "9999rgadd;;" with log level 1; sets connected from the result.
    ResultCode ProbeUnit();

    // Fields, in the order the link keeps them.
    IUnitEvents* mainWindow;
    int openPortIndex = -1;
    uint32_t readIntervalTimeout = 500;
    uint32_t readTotalTimeoutMultiplier = 1;
    uint32_t readTotalTimeoutConstant = 2500;
    uint32_t writeTotalTimeoutMultiplier = 1;
    uint32_t writeTotalTimeoutConstant = 1000;
    uint32_t baudRate = 9600;
    bool closeOnSendError = true;
    bool closeOnReceiveError = true;
    bool reconnectSocket = true;
    // Test aid: runs as StartConnectThread begins, before it looks for a
    // socket (a place to let another thread's exchange get there first).
    std::function<void()> onConnectAttemptStart;
    std::string lastRequest;              // STX to ETX
    std::string lastReply;                // received text up to and including its ETX
    int lastReplyLength = 0;
    std::string logFileName;
    std::string ipAddress;                // at most 15 characters
    std::atomic<LinkMode> mode{LinkModeSerial};
    std::atomic<int> connected{0};
    int portIndex = -1;
    SerialPort serialHandle;
    std::unique_ptr<std::ofstream> logFile;
    int emptyReplyCount = 0;
    std::atomic<SocketHandle> socket{kNoSocket};
    // Set when the socket may still bring a reply that belongs to no later
    // request (after a receive that failed or timed out, or a reply that failed
    // acceptance): the next exchange drops it and connects anew first.
    std::atomic<bool> socketOutOfStep{false};
    // The same for the serial line: after an exchange that failed (no reply in
    // time, or a reply that failed acceptance) the unit may still answer it,
    // so the next exchange first lets the line fall quiet.
    bool serialOutOfStep = false;
    // Looks for the device of a vanished serial port (ReopenLostPort); the
    // pace of those looks can be read here.
    std::atomic<uint32_t> reopenChecks{0};
    // The COM port whose device vanished and is to be opened again; -1: none.
    int lostPortIndex = -1;
    // The path the open port was opened by (ports/COMn or a /dev node), as
    // ComPortDevicePath gave it. A vanished device is looked for at this path
    // only, its link followed anew: a link that is gone is not replaced by the
    // /dev node the COM number would fall back to.
    std::string openDevicePath;
    // Whether a vanished device is looked for again. A port opened through a
    // link made for the moment (the tool's --serial PATH) clears it.
    bool followComPort = true;
    std::list<std::unique_ptr<ConnectThreadRecord>> connectThreads;
    std::mutex connectThreadsLock;        // guards connectThreads
    std::condition_variable connectThreadsChanged;
    Blowfish blowfish;

private:
    // The exchange itself, the caller holding LinkLock: the result code, and
    // on success the reply in `out`.
    ResultCode ExchangeHeld(const std::string& request, uint8_t logLevel, UnitReply& out);
    // The transport of the selected mode; Transact works only through it.
    LinkTransport& SelectedTransport() {
        if (mode == LinkModeSerial) return serial_;
        return tcp_;
    }
    // Counts `discarded` bytes as an unrequested reply when they followed an
    // accepted reply.
    void NoteDiscarded(long discarded, bool afterAnswer);
    ConnectHandle nextConnectHandle_ = 1;
    std::atomic<uint64_t> unrequestedReplies_{0};
    std::atomic<uint64_t> exchangesSinceQuiet_{0};
    bool lastAnswered_ = false;   // the last exchange brought an accepted reply (under LinkLock)
    SerialTransport serial_{*this};
    TcpTransport tcp_{*this};
};

// Exchange under LinkLock, by its older name. On success `status` and `data`
// (when given) receive the reply.
inline ResultCode TransactLocked(CFerritRemoteControl& link, const std::string& request, int* status = nullptr,
                                 std::string* data = nullptr, uint8_t logLevel = 1) {
    UnitReply reply = link.Exchange(request, logLevel);
    if (!reply.Answered()) return reply.result;
    if (status) *status = reply.status;
    if (data) *data = std::move(reply.data);
    return reply.result;
}
