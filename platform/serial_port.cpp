// Serial ports on the Linux tty layer. The line settings go through the
// termios2 ioctls so that rates outside the classic table (14400, 56000,
// 128000, 256000) can be set exactly; <termios.h> is therefore not included.
#include "platform/serial_port.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_folders.h"

namespace {

constexpr int kMaxComPorts = 256;
constexpr uint64_t kUnboundedWriteCapMs = 10000;

struct RangeMap {
    int firstIndex;
    const char* prefix;
};
// COM1-32, COM33-64 and COM65-96 map onto these device families.
constexpr RangeMap kRanges[] = {{0, "/dev/ttyS"}, {32, "/dev/ttyUSB"}, {64, "/dev/ttyACM"}};

speed_t StandardSpeed(uint32_t rate) {
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

bool IsRealUart(int fd, const std::string& path) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return false;
    const std::string real(resolved);
    if (real.rfind("/dev/ttyS", 0) != 0) return true;
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return false;
    return info.type != PORT_UNKNOWN;
}

// Milliseconds left until `deadline` (TickMs based), never negative.
int MsLeft(uint64_t deadline) {
    const uint64_t now = TickMs();
    if (now >= deadline) return 0;
    const uint64_t left = deadline - now;
    return left > uint64_t(INT_MAX) ? INT_MAX : int(left);
}

}  // namespace

std::string ComPortDevicePath(int index) {
    if (index < 0 || index >= kMaxComPorts) return {};
    const std::string ports = PortsFolder();
    const std::string link = ports + "/COM" + std::to_string(index + 1);
    struct stat st{};
    if (!ports.empty() && lstat(link.c_str(), &st) == 0) return link;
    for (int r = int(std::size(kRanges)) - 1; r >= 0; --r) {
        if (index >= kRanges[r].firstIndex) {
            const int n = index - kRanges[r].firstIndex;
            if (n >= 32) return {};
            return kRanges[r].prefix + std::to_string(n);
        }
    }
    return {};
}

bool SystemComPortPresent(int index) {
    const std::string path = ComPortDevicePath(index);
    if (path.empty()) return false;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios2 tio{};
    bool present = ioctl(fd, TCGETS2, &tio) == 0 && IsRealUart(fd, path);
    close(fd);
    return present;
}

bool DevicePathPresent(const std::string& path) {
    struct stat st{};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::string MakeComPortAlias(const std::string& devicePath) {
    const std::string target = ResolvedPath(devicePath);
    const std::string folder = MakeTemporaryFolder("tavrin_port");
    if (folder.empty()) return {};
    const std::string ports = folder + "/ports";
    if (mkdir(ports.c_str(), 0700) == 0 && symlink(target.c_str(), (ports + "/COM1").c_str()) == 0) return folder;
    RemoveComPortAlias(folder);
    return {};
}

void RemoveComPortAlias(const std::string& folder) {
    if (folder.empty()) return;
    unlink((folder + "/ports/COM1").c_str());
    rmdir((folder + "/ports").c_str());
    rmdir(folder.c_str());
}

SerialPort::~SerialPort() { Close(); }

void SerialPort::NoteError(int error) {
    if (error == EIO || error == ENXIO || error == ENODEV) gone_ = true;
}

bool SerialPort::Open(const std::string& devicePath) {
    Close();
    if (devicePath.empty()) return false;
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios2 tio{};
    // Exclusive use: no second open of the tty, no second cooperating program.
    if (ioctl(fd, TCGETS2, &tio) != 0 || ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    // Raw: no line editing, no echo, no signals, no translation, no flow control.
    tio.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~tcflag_t(OPOST);
    tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= ~tcflag_t(CRTSCTS);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void SerialPort::Close() {
    pendingPos_ = pendingLen_ = 0;
    gone_ = false;
    if (fd_ >= 0) {
        ioctl(fd_, TIOCNXCL);
        close(fd_);
        fd_ = -1;
    }
}

bool SerialPort::SetLine(uint32_t baudRate) {
    if (fd_ < 0 || baudRate == 0) return false;
    termios2 tio{};
    if (ioctl(fd_, TCGETS2, &tio) != 0) return false;
    const speed_t code = StandardSpeed(baudRate);
    tio.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | CSTOPB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    if (code != 0) {
        tio.c_cflag |= code | (code << IBSHIFT);
    } else {
        tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    }
    tio.c_ispeed = baudRate;
    tio.c_ospeed = baudRate;
    return ioctl(fd_, TCSETS2, &tio) == 0;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
    if (fd_ < 0) return false;
    timeouts_ = timeouts;
    return true;
}

bool SerialPort::GetTimeouts(SerialTimeouts& timeouts) const {
    if (fd_ < 0) return false;
    timeouts = timeouts_;
    return true;
}

void SerialPort::PurgeReceive() {
    pendingPos_ = pendingLen_ = 0;
    if (fd_ >= 0) ioctl(fd_, TCFLSH, TCIFLUSH);
}

long SerialPort::DiscardReceived(long limit) {
    long total = long(pendingLen_ - pendingPos_);
    pendingPos_ = pendingLen_ = 0;
    if (fd_ < 0) return total;
    uint8_t scratch[256];
    while (total <= limit) {
        const ssize_t n = read(fd_, scratch, sizeof scratch);   // the port is non-blocking
        if (n > 0) {
            total += long(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) NoteError(errno);
        break;
    }
    ioctl(fd_, TCFLSH, TCIFLUSH);
    return total > limit ? -1 : total;
}

long SerialPort::DiscardUntilQuiet(uint32_t quietMs, uint64_t notAfter) {
    long total = long(pendingLen_ - pendingPos_);
    pendingPos_ = pendingLen_ = 0;
    if (fd_ < 0) return total;
    uint8_t scratch[256];
    for (;;) {
        uint64_t until = TickMs() + quietMs;
        if (until > notAfter) until = notAfter;
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, MsLeft(until));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLIN)) return total;
        const ssize_t n = read(fd_, scratch, sizeof scratch);
        if (n <= 0) return total;
        total += long(n);
        if (TickMs() >= notAfter) return total;
    }
}

bool SerialPort::Write(const uint8_t* bytes, size_t length) {
    if (fd_ < 0) return false;
    uint64_t budget = uint64_t(timeouts_.writeTotalMultiplier) * length + timeouts_.writeTotalConstant;
    // 0/0 asks for no write time-out; a line that never drains must still not
    // hold the link for ever, so such a write gives up after a long bound.
    if (budget == 0) budget = kUnboundedWriteCapMs;
    const uint64_t deadline = TickMs() + budget;
    size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            NoteError(errno);
            return false;
        }
        pollfd p{fd_, POLLOUT, 0};
        const int wait = MsLeft(deadline);
        if (wait == 0) return false;
        const int r = poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            gone_ = true;
            return false;
        }
    }
    return true;
}

int SerialPort::ReadByte(uint8_t& byte, uint64_t notAfter) {
    if (fd_ < 0) return -1;
    if (pendingPos_ < pendingLen_) {
        byte = pending_[pendingPos_++];
        return 1;
    }
    // One byte per call: the interval time-out never applies, the total
    // time-out is multiplier x 1 + constant. Totals of 0 and 0 set no total
    // limit; the wait is then capped rather than ended at once.
    uint64_t budget = uint64_t(timeouts_.readTotalMultiplier) + timeouts_.readTotalConstant;
    if (budget == 0) budget = kUnboundedReadCapMs;
    uint64_t deadline = TickMs() + budget;
    if (notAfter != 0 && notAfter < deadline) deadline = notAfter;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, MsLeft(deadline));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) return 0;
        if (p.revents & POLLIN) {
            const ssize_t n = read(fd_, pending_, sizeof pending_);
            if (n > 0) {
                pendingLen_ = size_t(n);
                pendingPos_ = 1;
                byte = pending_[0];
                return 1;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                if (MsLeft(deadline) == 0) return 0;
                continue;
            }
            // EIO, or end of file on a hung-up line.
            if (n == 0) gone_ = true;
            else NoteError(errno);
            return -1;
        }
        gone_ = true;    // POLLHUP / POLLERR / POLLNVAL without data: device gone
        return -1;
    }
}
