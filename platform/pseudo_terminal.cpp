#include "platform/pseudo_terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

bool PseudoTerminal::Open(std::string& error) {
    Close();
    near_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (near_ < 0) return error = Errno("posix_openpt"), false;
    char name[256];
    if (::grantpt(near_) != 0 || ::unlockpt(near_) != 0 || ::ptsname_r(near_, name, sizeof name) != 0)
        return error = Errno("pseudo-terminal set-up"), Close(), false;
    farPath_ = name;
    far_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (far_ < 0) return error = Errno("open " + farPath_), Close(), false;
    termios t{};
    if (::tcgetattr(far_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(far_, TCSANOW, &t);
    }
    ::fcntl(near_, F_SETFL, ::fcntl(near_, F_GETFL) | O_NONBLOCK);
    return true;
}

void PseudoTerminal::Close() {
    CloseFd(far_);
    CloseFd(near_);
}

long PseudoTerminal::Read(void* buffer, size_t capacity) {
    const ssize_t n = ::read(near_, buffer, capacity);
    if (n >= 0) return long(n);
    return errno == EAGAIN || errno == EINTR ? kWouldBlock : -1;
}

long PseudoTerminal::Write(const void* bytes, size_t length) {
    const ssize_t n = ::write(near_, bytes, length);
    if (n >= 0) return long(n);
    return errno == EAGAIN || errno == EINTR ? kWouldBlock : -1;
}

bool PlaceLink(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return error = linkPath + " exists and is not a symbolic link", false;
    // A new link under a temporary name, renamed over the old one.
    const std::string temp = linkPath + ".new" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) return error = Errno("symlink " + temp), false;
    if (::rename(temp.c_str(), linkPath.c_str()) != 0) {
        error = Errno("rename to " + linkPath);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

void RemoveLinkTo(const std::string& linkPath, const std::string& target) {
    char found[512];
    const ssize_t n = ::readlink(linkPath.c_str(), found, sizeof found - 1);
    if (n > 0 && std::string(found, size_t(n)) == target) ::unlink(linkPath.c_str());
}
