// Serial ports: termios on Linux, the communication API on Windows. COM port
// index k (0..255) is "COM(k+1)".
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct SerialTimeouts {
    uint32_t readInterval = 500;          // greatest gap between two received bytes
    uint32_t readTotalMultiplier = 1;     // ms per byte of a read
    uint32_t readTotalConstant = 2500;    // ms per read
    uint32_t writeTotalMultiplier = 1;
    uint32_t writeTotalConstant = 1000;
};

// The device behind COMn (index n-1): an alias named COMn in the "ports"
// folder of the program folder wins (Linux: a link to the device; Windows: a
// file holding the device's name); otherwise, on Linux, COM1-32 are
// /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31 and COM65-96 /dev/ttyACM0-31, and on
// Windows COMn is \\.\COMn. Empty when there is none.
std::string ComPortDevicePath(int index);

// Whether COM(index+1) "has a default configuration": the installed probe's
// answer, else the system's (SystemComPortPresent).
bool ComPortPresent(int index);
// The system's check. Linux: the device opens (non-blocking, no controlling
// tty), answers tcgetattr and, for /dev/ttyS*, reports a real UART. Windows:
// \\.\COMn opens, or is refused as in use.
bool SystemComPortPresent(int index);
// Replaces the presence check (tests: a system that reports ports whatever
// is behind them); an empty probe restores the system's.
using ComPortProbe = std::function<bool(int index)>;
void SetComPortProbe(ComPortProbe probe);

// A private, temporary program folder whose COM1 leads to `devicePath` (a
// device of the system, e.g. a tty or \\.\COM5); "" on failure.
// RemoveComPortAlias takes the folder away again.
std::string MakeComPortAlias(const std::string& devicePath);
void RemoveComPortAlias(const std::string& folder);

// Whether something is there at a device path (the node, or the target of a
// link such as ports/COMn, followed anew), without opening it.
bool DevicePathPresent(const std::string& path);

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for reading and writing, exclusively (Linux: TIOCEXCL
    // and an advisory lock, no controlling terminal, raw mode; Windows: no
    // sharing, no flow control). The time-outs start as SerialTimeouts' defaults.
    bool Open(const std::string& devicePath);
    bool IsOpen() const { return fd_ != kNoPort; }
    void Close();
    // Whether a read, write or wait since the port was opened found the device
    // gone (EIO, ENXIO, ENODEV, a hang-up): nothing more will come from it.
    bool DeviceGone() const { return gone_; }
    // The descriptor (Linux) or handle (Windows) while open.
    auto Fd() const { return fd_.load(); }

    // Baud rate with 8 data bits, no parity, one stop bit; rates outside the
    // termios table use the arbitrary-rate interface.
    bool SetLine(uint32_t baudRate);
    bool SetTimeouts(const SerialTimeouts& timeouts);
    bool GetTimeouts(SerialTimeouts& timeouts) const;

    void PurgeReceive();
    // Throws away everything received and not yet handed out: the port's own
    // buffer and what waits in the system, without waiting. Returns the number
    // of bytes thrown away, or -1 when more than `limit` bytes kept coming (the
    // receive side is purged all the same).
    long DiscardReceived(long limit);
    // Throws away what arrives until the line has been quiet for `quietMs` or
    // `notAfter` (a TickMs time) has come. Returns the bytes thrown away.
    long DiscardUntilQuiet(uint32_t quietMs, uint64_t notAfter);
    // Writes all bytes within the write time-outs; false on failure.
    bool Write(const uint8_t* bytes, size_t length);
    // Reads one byte, waiting at most multiplier x 1 + constant ms and never
    // past `notAfter` (a TickMs time; 0 = no such limit). Read totals of 0 and
    // 0 mean no total limit: the wait for one byte is then capped at
    // kUnboundedReadCapMs. Returns 1 with a byte, 0 on time-out, -1 on
    // failure (device gone, hung up).
    int ReadByte(uint8_t& byte, uint64_t notAfter = 0);
    static constexpr uint64_t kUnboundedReadCapMs = 2501;

private:
    // Notes a failure that means the device went away.
    void NoteError(int error);

#ifdef _WIN32
    using PortHandle = intptr_t;   // a HANDLE
    // The time-outs last handed to the system, so that a read asks again only on a change.
    uint32_t appliedReadConstant_ = 0;
    bool applied_ = false;
    bool ApplyTimeouts(uint32_t readConstant);
#else
    using PortHandle = int;        // a descriptor
#endif
    static constexpr PortHandle kNoPort = -1;
    std::atomic<PortHandle> fd_{kNoPort};
    bool gone_ = false;
    SerialTimeouts timeouts_;
    // Bytes already taken from the device but not yet handed out: one read call
    // takes what has arrived, ReadByte hands it out a byte at a time.
    uint8_t pending_[256] = {};
    size_t pendingPos_ = 0;
    size_t pendingLen_ = 0;
};
