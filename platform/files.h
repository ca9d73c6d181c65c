// Files and folders as the layers above see them, on every system: what a
// path names, a file written row by row or line by line, a private temporary
// folder, whether a stream is a terminal. Paths are UTF-8.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

enum class PathKind { Missing, File, Folder, Other };
// What `path` names once links are followed; Missing also when it cannot be looked at.
PathKind KindOfPath(const std::string& path);
// `path` with links and relative steps resolved; `path` itself when it cannot be.
std::string ResolvedPath(const std::string& path);
// Whether this user may read and write `path`; on false `why` gets the system's text.
bool CanReadAndWrite(const std::string& path, std::string& why);
// A new private folder for temporary files whose name starts with `prefix`
// (in the system's folder for temporary files); "" on failure.
std::string MakeTemporaryFolder(const std::string& prefix);
// Removes an empty folder or a file; false on failure.
bool RemovePath(const std::string& path);
// Renames `from` to `to`, replacing a file there; false (errno) on failure.
bool RenamePath(const std::string& from, const std::string& to);
// `path` as the standard library's file streams and folders take it (on
// Windows through the wide-character calls, so that any name opens).
std::filesystem::path FilePath(const std::string& path);
// A file opened for appending bytes as they are (not inherited by child
// processes); nullptr (errno) on failure.
std::FILE* OpenForAppend(const std::string& path);
// The system's text for an error number (errno values).
std::string ErrorText(int error);

// A file open for writing. Opening never waits (a FIFO without a reader fails
// at once); writes then wait. A failed call leaves the reason in errno.
class WrittenFile {
public:
    enum class Mode { Truncate, Append };
    // Where the path given to Open leads now, compared with the open file.
    enum class PathLink { Here, Deleted, Moved, Replaced, Unreachable, Unknown };

    WrittenFile() = default;
    ~WrittenFile() { Close(); }
    WrittenFile(const WrittenFile&) = delete;
    WrittenFile& operator=(const WrittenFile&) = delete;

    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }
    bool IsRegular() const { return regular_; }
    bool WriteAll(const std::string& bytes);
    bool TruncateTo(uint64_t size);
    int64_t Size() const;   // -1 on failure
    // Unreachable (the path cannot be looked at) and Unknown (the open file
    // cannot) leave the reason in errno.
    PathLink LinkOf(const std::string& path) const;
    void Close();

private:
    int fd_ = -1;
    bool regular_ = false;
};
