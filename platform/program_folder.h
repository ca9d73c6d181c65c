// The program folder: the folder of the executable. Settings, log and the
// "ports" folder of COM port links lie in it.
#pragma once
#include <string>

// The folder of the running executable (from /proc/self/exe), without a trailing '/'.
std::string ExecutableFolder();

// The folder used by the program; defaults to ExecutableFolder(). Tests and
// tools may point it elsewhere.
const std::string& ProgramFolder();
void SetProgramFolder(const std::string& folder);

// Replaces `path` with `contents` through a temporary file in the same folder,
// flushed and renamed over it. On failure the old file is untouched, no
// temporary file is left behind and false is returned.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents);
