#include "platform/program_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

std::string ExecutableFolder() {
    char path[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) return ".";
    std::string full(path, size_t(n));
    const size_t slash = full.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return full.substr(0, slash);
}

namespace {
std::mutex g_folderMutex;
std::string g_folder;
bool g_folderSet = false;
}  // namespace

const std::string& ProgramFolder() {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    if (!g_folderSet) {
        g_folder = ExecutableFolder();
        g_folderSet = true;
    }
    return g_folder;
}

void SetProgramFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_folder = folder;
    g_folderSet = true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    std::string tmp = path + ".tmpXXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    fchmod(fd, 0644);
    size_t done = 0;
    bool ok = true;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += size_t(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable: sync the folder that holds the file.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    contents = buffer.str();
    return true;
}
