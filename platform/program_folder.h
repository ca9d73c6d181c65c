// The program folder: the folder of the executable. A portable copy keeps its
// settings, log and "ports" folder of COM port links in it; an installed one
// keeps them in the user's folders (platform/user_folders.h).
#pragma once
#include <cstddef>
#include <string>

// The folder of the running executable (from /proc/self/exe), without a trailing '/'.
std::string ExecutableFolder();

// How the program decides where its files go: Detect looks at the program
// folder (an installed tree's mark, or a folder it cannot write); Portable
// and Installed are fixed choices.
enum class FolderMode { Detect, Portable, Installed };

// The folder used by the program; defaults to ExecutableFolder() with
// FolderMode::Detect. Tests and tools may point it elsewhere.
const std::string& ProgramFolder();
FolderMode ProgramFolderMode();
void SetProgramFolder(const std::string& folder, FolderMode mode = FolderMode::Detect);

// Files the program reads (settings, configuration and set files) are small;
// anything larger is refused rather than read.
inline constexpr size_t kMaxReadFileBytes = 64 * 1024;

// Replaces `path` with `contents` through a temporary file in the same folder,
// flushed and renamed over it. A symbolic link is followed first, so that the
// file it leads to is replaced and the link stays. The new file keeps the mode
// (and, where allowed, the owner) of the file it replaces; a new file gets
// 0666 less the umask. The temporary file is hidden and named
// ".NAME.partial-XXXXXX"; those left by an earlier, interrupted save of the
// same file are removed. On failure the old file is untouched, no temporary
// file is left behind and false is returned. A target that exists but is not
// a regular file is refused.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents);

// Whether a file could be created where `path` would be replaced (its folder,
// after following symbolic links), checked by creating and removing a
// temporary file of the same naming. A folder is never replaced. On false,
// `why` (when given) gets the system's reason ("No such file or directory").
bool CanCreateFileBeside(const std::string& path, std::string* why = nullptr);

// Reads a whole regular file of at most `maxBytes` bytes; false when it cannot
// be opened or read, is not a regular file (a folder, a device, a FIFO) or is
// larger. Never blocks on a FIFO. On false, `why` (when given) gets the reason:
// the system's text ("Permission denied", "Is a directory", "File too large")
// or "not a regular file".
bool ReadWholeFile(const std::string& path, std::string& contents, size_t maxBytes = kMaxReadFileBytes,
                   std::string* why = nullptr);

// Writes all of `contents` to a descriptor, again after an interruption;
// false on the first failed write (errno tells why).
bool WriteAll(int fd, const std::string& contents);
