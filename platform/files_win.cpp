// Files and folders on Windows: wide-character calls, UTF-8 paths inside.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "platform/files.h"
#include "platform/program_folder.h"
#include "wide_text.h"

namespace {

int SetErrnoFromLastError() {
    errno = ErrnoOfWindowsError(GetLastError());
    return errno;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PartialPrefix(const std::string& target) { return "." + BaseOf(target) + ".partial-"; }
constexpr char kSuffixLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomSuffix() {
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kSuffixLetters - 2);
    std::string suffix;
    for (int i = 0; i < 6; ++i) suffix.push_back(kSuffixLetters[pick(generator)]);
    return suffix;
}

// Creates the temporary file beside `target`, not shared while open (a file
// held open cannot be deleted, so no cleaner removes a save in progress).
HANDLE CreatePartialFile(const std::string& target, std::string& partialPath) {
    const std::string stem = FolderOf(target) + "/" + PartialPrefix(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        partialPath = stem + RandomSuffix();
        const HANDLE h = CreateFileW(Wide(partialPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    SetErrnoFromLastError();
    return INVALID_HANDLE_VALUE;
}

// Removes temporary files an interrupted save left: those in use refuse deletion.
void RemoveStalePartials(const std::string& target) {
    const std::string folder = FolderOf(target);
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(Wide(folder + "/" + PartialPrefix(target) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileW(Wide(folder + "/" + Utf8(found.cFileName)).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

std::string ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return FolderOf(WithForwardSlashes(Utf8(path)));
}

bool WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        const int n = _write(fd, contents.data() + done, unsigned(contents.size() - done));
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    const PathKind kind = KindOfPath(path);
    if (kind != PathKind::Missing && kind != PathKind::File) return false;
    RemoveStalePartials(path);
    std::string tmp;
    const HANDLE h = CreatePartialFile(path, tmp);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = contents.empty() ||
              (WriteFile(h, contents.data(), DWORD(contents.size()), &written, nullptr) && written == contents.size());
    ok = ok && FlushFileBuffers(h);
    CloseHandle(h);
    ok = ok && SetFileAttributesW(Wide(tmp).c_str(), FILE_ATTRIBUTE_NORMAL) &&
         MoveFileExW(Wide(tmp).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(Wide(tmp).c_str());
    return ok;
}

bool CanCreateFileBeside(const std::string& path, std::string* why) {
    if (KindOfPath(path) == PathKind::Folder) {
        if (why) *why = std::strerror(EISDIR);
        return false;
    }
    std::string probe;
    const HANDLE h = CreatePartialFile(path, probe);
    if (h == INVALID_HANDLE_VALUE) {
        if (why) *why = std::strerror(errno);
        return false;
    }
    CloseHandle(h);
    DeleteFileW(Wide(probe).c_str());
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes, std::string* why) {
    const auto refuse = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    const PathKind kind = KindOfPath(path);
    if (kind == PathKind::Folder) return refuse(std::strerror(EISDIR));
    if (kind == PathKind::Other) return refuse("not a regular file");
    const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return refuse(std::strerror(SetErrnoFromLastError()));
    std::string bytes;
    std::string problem;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        problem = std::strerror(SetErrnoFromLastError());
    } else if (uint64_t(size.QuadPart) > maxBytes) {
        problem = std::strerror(EFBIG);
    } else {
        char buffer[8192];
        for (;;) {
            DWORD n = 0;
            if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) {
                problem = std::strerror(SetErrnoFromLastError());
                break;
            }
            if (n == 0) break;
            if (bytes.size() + n > maxBytes) {
                problem = std::strerror(EFBIG);
                break;
            }
            bytes.append(buffer, n);
        }
    }
    CloseHandle(h);
    if (!problem.empty()) return refuse(problem);
    contents = std::move(bytes);
    return true;
}

PathKind KindOfPath(const std::string& path) {
    if (path.empty()) return PathKind::Missing;
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
    return PathKind::File;
}

std::string ResolvedPath(const std::string& path) {
    wchar_t full[32768];
    const DWORD n = GetFullPathNameW(Wide(path).c_str(), DWORD(std::size(full)), full, nullptr);
    return n == 0 || n >= std::size(full) ? path : WithForwardSlashes(Utf8(std::wstring(full, n)));
}

bool CanReadAndWrite(const std::string& path, std::string& why) {
    if (_waccess(Wide(path).c_str(), 06) == 0) return true;
    why = std::strerror(errno);
    return false;
}

std::string MakeTemporaryFolder(const std::string& prefix) {
    wchar_t base[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    if (n == 0) return {};
    const std::string folder = WithForwardSlashes(Utf8(std::wstring(base, n)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + prefix + "." + RandomSuffix();
        if (CreateDirectoryW(Wide(candidate).c_str(), nullptr)) return candidate;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

bool RemovePath(const std::string& path) {
    const std::wstring wide = Wide(path);
    if (KindOfPath(path) == PathKind::Folder) return RemoveDirectoryW(wide.c_str());
    return DeleteFileW(wide.c_str());
}

std::string ErrorText(int error) { return std::strerror(error); }

bool WrittenFile::Open(const std::string& path, Mode mode) {
    Close();
    const int how = mode == Mode::Append ? _O_APPEND : _O_TRUNC;
    const int fd = _wopen(Wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | how, _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    regular_ = GetFileType(HANDLE(_get_osfhandle(fd))) == FILE_TYPE_DISK;
    fd_ = fd;
    return true;
}

bool WrittenFile::WriteAll(const std::string& bytes) { return fd_ >= 0 && ::WriteAll(fd_, bytes); }

bool WrittenFile::TruncateTo(uint64_t size) {
    if (fd_ < 0) return false;
    const errno_t error = _chsize_s(fd_, int64_t(size));
    if (error != 0) errno = error;
    return error == 0;
}

int64_t WrittenFile::Size() const { return fd_ >= 0 ? _filelengthi64(fd_) : -1; }

WrittenFile::PathLink WrittenFile::LinkOf(const std::string& path) const {
    BY_HANDLE_FILE_INFORMATION open{}, named{};
    const HANDLE mine = HANDLE(_get_osfhandle(fd_));
    if (!GetFileInformationByHandle(mine, &open)) {
        SetErrnoFromLastError();
        return PathLink::Unknown;
    }
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(mine, FileStandardInfo, &standard, sizeof standard) && standard.DeletePending)
        return PathLink::Deleted;
    const HANDLE other = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return PathLink::Moved;
        SetErrnoFromLastError();
        return PathLink::Unreachable;
    }
    const bool same = GetFileInformationByHandle(other, &named) &&
                      named.dwVolumeSerialNumber == open.dwVolumeSerialNumber &&
                      named.nFileIndexHigh == open.nFileIndexHigh && named.nFileIndexLow == open.nFileIndexLow;
    CloseHandle(other);
    return same ? PathLink::Here : PathLink::Replaced;
}

void WrittenFile::Close() {
    if (fd_ >= 0) _close(fd_);
    fd_ = -1;
    regular_ = false;
}

bool RenamePath(const std::string& from, const std::string& to) {
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    errno = ErrnoOfWindowsError(GetLastError());
    return false;
}

std::filesystem::path FilePath(const std::string& path) { return std::filesystem::path(Wide(path)); }

// "N": not inherited.
std::FILE* OpenForAppend(const std::string& path) { return _wfopen(Wide(path).c_str(), L"abN"); }
