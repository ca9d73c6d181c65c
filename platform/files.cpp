#include "platform/files.h"
#include "platform/program_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <utility>

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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links of the last path element until it names no link (a
// file, something else, or nothing yet). Empty on a loop or an unreadable link.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        char target[PATH_MAX + 1];
        const ssize_t n = readlink(current.c_str(), target, PATH_MAX);
        if (n <= 0) return {};
        const std::string next(target, size_t(n));
        current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
    }
    return {};
}

// ".NAME.partial-" : a hidden name that no one takes for the file itself.
std::string PartialPrefix(const std::string& target) { return "." + BaseOf(target) + ".partial-"; }
constexpr size_t kPartialSuffixLength = 6;
constexpr char kSuffixLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomSuffix() {
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kSuffixLetters - 2);
    std::string suffix;
    for (size_t i = 0; i < kPartialSuffixLength; ++i) suffix.push_back(kSuffixLetters[pick(generator)]);
    return suffix;
}

bool SameFile(int fd, const std::string& path) {
    struct stat byFd {}, byName {};
    return fstat(fd, &byFd) == 0 && lstat(path.c_str(), &byName) == 0 && byFd.st_dev == byName.st_dev &&
           byFd.st_ino == byName.st_ino;
}

// Creates the hidden temporary file for `target` (0666 less the umask) and
// holds an exclusive lock on it while it is in use, so that a save running at
// the same time never takes it for a stale one. -1 on failure.
int CreatePartialFile(const std::string& target, std::string& partialPath) {
    const std::string stem = FolderOf(target) + "/" + PartialPrefix(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        partialPath = stem + RandomSuffix();
        const int fd = open(partialPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        // A cleaner may have removed the name between the creation and the lock.
        if (flock(fd, LOCK_EX) == 0 && SameFile(fd, partialPath)) return fd;
        close(fd);
    }
    return -1;
}

// Removes temporary files of our naming for `target` that no running save
// holds: what a process killed in the middle of a save left behind.
void RemoveStalePartials(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string prefix = PartialPrefix(target);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + kPartialSuffixLength || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (name.find_first_not_of(kSuffixLetters, prefix.size()) != std::string::npos) continue;
        const std::string stale = folder + "/" + name;
        const int fd = open(stale.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            SameFile(fd, stale))
            unlink(stale.c_str());
        close(fd);
    }
    closedir(dir);
}

}  // namespace

bool WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    const std::string target = FollowLinks(path);
    if (target.empty()) return false;
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) return false;

    RemoveStalePartials(target);
    std::string tmp;
    const int fd = CreatePartialFile(target, tmp);
    if (fd < 0) return false;
    bool ok = true;
    if (replacing) {
        // The owner first (only root may give a file away; otherwise the group
        // may still be kept), then the mode, which a change of owner may clear.
        if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, uid_t(-1), old.st_gid) != 0) {
            // The file becomes ours, with the old mode.
        }
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, contents);
    if (ok && fsync(fd) != 0) ok = false;
    // The rename happens under the lock, so no cleaner takes the file for stale.
    if (ok && std::rename(tmp.c_str(), target.c_str()) != 0) ok = false;
    if (!ok) unlink(tmp.c_str());
    if (close(fd) != 0) ok = false;
    if (!ok) return false;
    // Make the rename itself durable: sync the folder that holds the file.
    const int dirFd = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

bool CanCreateFileBeside(const std::string& path, std::string* why) {
    const auto refuse = [why](int error) {
        if (why) *why = std::strerror(error);
        return false;
    };
    const std::string target = FollowLinks(path);
    if (target.empty()) return refuse(ELOOP);
    struct stat info {};
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return refuse(EISDIR);
    std::string probe;
    const int fd = CreatePartialFile(target, probe);
    if (fd < 0) return refuse(errno);
    unlink(probe.c_str());
    close(fd);
    return true;
}

namespace {

// Reads all of an open file into `bytes`: "" when it is a regular file of at
// most `maxBytes`, else why not.
std::string ReadOpenFile(int fd, size_t maxBytes, std::string& bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    if (uint64_t(info.st_size) > maxBytes) return std::strerror(EFBIG);
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        if (n == 0) return {};
        if (bytes.size() + size_t(n) > maxBytes) return std::strerror(EFBIG);   // grew while being read
        bytes.append(buffer, size_t(n));
    }
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes, std::string* why) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::string bytes;
    std::string problem;
    if (fd < 0) {
        problem = std::strerror(errno);
    } else {
        problem = ReadOpenFile(fd, maxBytes, bytes);
        close(fd);
    }
    if (!problem.empty()) {
        if (why) *why = problem;
        return false;
    }
    contents = std::move(bytes);
    return true;
}

PathKind KindOfPath(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return PathKind::Missing;
    if (S_ISREG(info.st_mode)) return PathKind::File;
    if (S_ISDIR(info.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

bool CanReadAndWrite(const std::string& path, std::string& why) {
    if (access(path.c_str(), R_OK | W_OK) == 0) return true;
    why = std::strerror(errno);
    return false;
}

std::string MakeTemporaryFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + ".XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

bool RemovePath(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return rmdir(path.c_str()) == 0;
    return unlink(path.c_str()) == 0;
}

std::string ErrorText(int error) { return std::strerror(error); }

bool WrittenFile::Open(const std::string& path, Mode mode) {
    Close();
    const int how = mode == Mode::Append ? O_APPEND : O_TRUNC;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | how | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat info {};
    regular_ = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    fd_ = fd;
    return true;
}

bool WrittenFile::WriteAll(const std::string& bytes) { return fd_ >= 0 && ::WriteAll(fd_, bytes); }

bool WrittenFile::TruncateTo(uint64_t size) { return fd_ >= 0 && ::ftruncate(fd_, off_t(size)) == 0; }

int64_t WrittenFile::Size() const {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 ? int64_t(info.st_size) : -1;
}

WrittenFile::PathLink WrittenFile::LinkOf(const std::string& path) const {
    struct stat open {}, named {};
    if (::fstat(fd_, &open) != 0) return PathLink::Unknown;
    if (::stat(path.c_str(), &named) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return PathLink::Unreachable;
        return open.st_nlink == 0 ? PathLink::Deleted : PathLink::Moved;
    }
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino) return PathLink::Replaced;
    return PathLink::Here;
}

void WrittenFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    regular_ = false;
}

bool RenamePath(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

std::filesystem::path FilePath(const std::string& path) { return std::filesystem::path(path); }

std::FILE* OpenForAppend(const std::string& path) { return std::fopen(path.c_str(), "ae"); }
