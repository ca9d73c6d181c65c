// Serial ports on termios. COM port index k (0..255) is "COM(k+1)".
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct SerialTimeouts {
    uint32_t readInterval = 500;          // greatest gap between two received bytes
    uint32_t readTotalMultiplier = 1;     // ms per byte of a read
    uint32_t readTotalConstant = 2500;    // ms per read
    uint32_t writeTotalMultiplier = 1;
    uint32_t writeTotalConstant = 1000;
};

// The device behind COMn (index n-1): a link named COMn in the "ports" folder of
// the program folder wins; otherwise COM1-32 are /dev/ttyS0-31, COM33-64
// /dev/ttyUSB0-31 and COM65-96 /dev/ttyACM0-31. Empty when there is none.
std::string ComPortDevicePath(int index);

// Whether COM(index+1) "has a default configuration": its device opens
// (non-blocking, no controlling tty), answers tcgetattr and, for /dev/ttyS*,
// reports a real UART.
bool ComPortPresent(int index);

// Whether something is there at a device path (the node, or the target of a
// link such as ports/COMn, followed anew), without opening it.
bool DevicePathPresent(const std::string& path);

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for reading and writing, exclusively (TIOCEXCL and an
    // advisory lock), without becoming its controlling terminal, and puts it in
    // raw mode. The time-outs start as SerialTimeouts' defaults.
    bool Open(const std::string& devicePath);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    // Whether a read, write or wait since the port was opened found the device
    // gone (EIO, ENXIO, ENODEV, a hang-up): nothing more will come from it.
    bool DeviceGone() const { return gone_; }
    int Fd() const { return fd_; }

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

    std::atomic<int> fd_{-1};
    bool gone_ = false;
    SerialTimeouts timeouts_;
    // Bytes already taken from the device but not yet handed out: one read call
    // takes what has arrived, ReadByte hands it out a byte at a time.
    uint8_t pending_[256] = {};
    size_t pendingPos_ = 0;
    size_t pendingLen_ = 0;
};
