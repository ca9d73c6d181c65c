#include "platform/std_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool OpenMissingStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, which is `fd` itself: every lower
        // one is open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened != fd) {
            if (opened >= 0) ::close(opened);
            return false;
        }
    }
    return true;
}
