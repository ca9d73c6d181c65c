// Serial ports through the Windows communication API: \\.\COMn opened without
// sharing, 8N1 by SetCommState, the five time-outs by SetCommTimeouts and
// one-byte ReadFile calls.
#include <windows.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/program_folder.h"
#include "platform/serial_port.h"
#include "platform/user_folders.h"
#include "wide_text.h"

namespace {

constexpr int kMaxComPorts = 256;
constexpr uint32_t kUnboundedWriteCapMs = 10000;
constexpr char kDevicePrefix[] = "\\\\.\\";

HANDLE Handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Whether a device of this name ("COM5") is there, as Windows programs look
// for COM ports: an open succeeds, or is refused because the port is in use.
bool DeviceThere(const std::string& name) {
    const HANDLE h = CreateFileW(Wide(kDevicePrefix + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string ComPortDevicePath(int index) {
    if (index < 0 || index >= kMaxComPorts) return {};
    const std::string ports = PortsFolder();
    std::string alias;
    if (!ports.empty() && ReadWholeFile(ports + "/COM" + std::to_string(index + 1), alias, 1024))
        return Trimmed(alias);
    return kDevicePrefix + std::string("COM") + std::to_string(index + 1);
}

bool SystemComPortPresent(int index) {
    if (index < 0 || index >= kMaxComPorts) return false;
    return DeviceThere("COM" + std::to_string(index + 1));
}

bool DevicePathPresent(const std::string& path) {
    if (path.empty()) return false;
    if (path.rfind(kDevicePrefix, 0) == 0) return DeviceThere(path.substr(sizeof kDevicePrefix - 1));
    return KindOfPath(path) != PathKind::Missing;
}

std::string MakeComPortAlias(const std::string& devicePath) {
    const std::string folder = MakeTemporaryFolder("tavrin_port");
    if (folder.empty()) return {};
    if (CreateDirectoryW(Wide(folder + "/ports").c_str(), nullptr) &&
        ReplaceFileAtomically(folder + "/ports/COM1", devicePath))
        return folder;
    RemoveComPortAlias(folder);
    return {};
}

void RemoveComPortAlias(const std::string& folder) {
    if (folder.empty()) return;
    RemovePath(folder + "/ports/COM1");
    RemovePath(folder + "/ports");
    RemovePath(folder);
}

SerialPort::~SerialPort() { Close(); }

void SerialPort::NoteError(int error) {
    if (error != ERROR_OPERATION_ABORTED) gone_ = true;
}

bool SerialPort::Open(const std::string& devicePath) {
    Close();
    if (devicePath.empty()) return false;
    const HANDLE h = CreateFileW(Wide(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        return false;
    }
    // No flow control, no replacement of characters, nothing discarded.
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(h, &dcb)) {
        CloseHandle(h);
        return false;
    }
    fd_ = reinterpret_cast<intptr_t>(h);
    timeouts_ = SerialTimeouts{};
    applied_ = false;
    if (!ApplyTimeouts(timeouts_.readTotalConstant)) {
        Close();
        return false;
    }
    return true;
}

void SerialPort::Close() {
    pendingPos_ = pendingLen_ = 0;
    gone_ = false;
    const intptr_t h = fd_.exchange(kNoPort);
    if (h != kNoPort) CloseHandle(Handle(h));
}

bool SerialPort::SetLine(uint32_t baudRate) {
    if (fd_ == kNoPort || baudRate == 0) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(Handle(fd_), &dcb)) return false;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fParity = FALSE;
    return SetCommState(Handle(fd_), &dcb);
}

bool SerialPort::ApplyTimeouts(uint32_t readConstant) {
    if (applied_ && appliedReadConstant_ == readConstant) return true;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts_.readInterval;
    t.ReadTotalTimeoutMultiplier = timeouts_.readTotalMultiplier;
    t.ReadTotalTimeoutConstant = readConstant;
    t.WriteTotalTimeoutMultiplier = timeouts_.writeTotalMultiplier;
    // 0 and 0 ask for no write time-out; a line that never drains must still
    // not hold the link for ever.
    t.WriteTotalTimeoutConstant = timeouts_.writeTotalMultiplier == 0 && timeouts_.writeTotalConstant == 0
                                      ? kUnboundedWriteCapMs
                                      : timeouts_.writeTotalConstant;
    // With every read value 0 the system would wait for ever: the cap applies.
    if (t.ReadIntervalTimeout == 0 && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0)
        t.ReadTotalTimeoutConstant = DWORD(kUnboundedReadCapMs);
    applied_ = SetCommTimeouts(Handle(fd_), &t) != 0;
    appliedReadConstant_ = readConstant;
    return applied_;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
    if (fd_ == kNoPort) return false;
    timeouts_ = timeouts;
    applied_ = false;
    return ApplyTimeouts(timeouts.readTotalConstant);
}

bool SerialPort::GetTimeouts(SerialTimeouts& timeouts) const {
    if (fd_ == kNoPort) return false;
    timeouts = timeouts_;
    return true;
}

void SerialPort::PurgeReceive() {
    pendingPos_ = pendingLen_ = 0;
    if (fd_ != kNoPort) PurgeComm(Handle(fd_), PURGE_RXCLEAR);
}

long SerialPort::DiscardReceived(long limit) {
    long total = long(pendingLen_ - pendingPos_);
    pendingPos_ = pendingLen_ = 0;
    if (fd_ == kNoPort) return total;
    uint8_t scratch[256];
    while (total <= limit) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(Handle(fd_), &errors, &status)) {
            NoteError(int(GetLastError()));
            break;
        }
        if (status.cbInQue == 0) break;
        DWORD n = 0;
        const DWORD want = status.cbInQue < sizeof scratch ? status.cbInQue : DWORD(sizeof scratch);
        if (!ReadFile(Handle(fd_), scratch, want, &n, nullptr)) {
            NoteError(int(GetLastError()));
            break;
        }
        if (n == 0) break;
        total += long(n);
    }
    PurgeComm(Handle(fd_), PURGE_RXCLEAR);
    return total > limit ? -1 : total;
}

long SerialPort::DiscardUntilQuiet(uint32_t quietMs, uint64_t notAfter) {
    long total = long(pendingLen_ - pendingPos_);
    pendingPos_ = pendingLen_ = 0;
    if (fd_ == kNoPort) return total;
    for (;;) {
        const uint64_t now = TickMs();
        if (now >= notAfter) return total;
        const uint64_t left = notAfter - now;
        uint8_t byte = 0;
        DWORD n = 0;
        if (!ApplyTimeouts(uint32_t(left < quietMs ? left : quietMs)) ||
            !ReadFile(Handle(fd_), &byte, 1, &n, nullptr) || n == 0)
            return total;
        ++total;
    }
}

bool SerialPort::Write(const uint8_t* bytes, size_t length) {
    if (fd_ == kNoPort) return false;
    DWORD written = 0;
    if (!WriteFile(Handle(fd_), bytes, DWORD(length), &written, nullptr)) {
        NoteError(int(GetLastError()));
        return false;
    }
    return written == length;
}

int SerialPort::ReadByte(uint8_t& byte, uint64_t notAfter) {
    if (fd_ == kNoPort) return -1;
    if (pendingPos_ < pendingLen_) {
        byte = pending_[pendingPos_++];
        return 1;
    }
    // One byte per call: the interval time-out never applies, the total is
    // multiplier x 1 + constant; a nearer `notAfter` shortens the constant.
    uint32_t constant = timeouts_.readTotalConstant;
    if (notAfter != 0) {
        const uint64_t now = TickMs();
        if (now >= notAfter) return 0;
        const uint64_t left = notAfter - now;
        const uint64_t total = uint64_t(timeouts_.readTotalMultiplier) + constant;
        if (total == 0 ? left < kUnboundedReadCapMs : left < total)
            constant = uint32_t(left > timeouts_.readTotalMultiplier ? left - timeouts_.readTotalMultiplier : 1);
    }
    if (!ApplyTimeouts(constant)) return -1;
    DWORD n = 0;
    if (!ReadFile(Handle(fd_), &byte, 1, &n, nullptr)) {
        NoteError(int(GetLastError()));
        return -1;
    }
    return n == 1 ? 1 : 0;
}
