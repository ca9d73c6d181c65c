// The user's folders on Linux: the XDG base folders and the home folder.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/user_folders.h"

namespace {

// An XDG base folder: the variable when it holds an absolute path, else
// HOME followed by `fallback`; "" when there is no home either.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + fallback;
}

}  // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::string UserSettingsBase() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }
std::string UserStateBase() { return XdgFolder("XDG_STATE_HOME", "/.local/state"); }

bool FolderWritable(const std::string& folder) { return access(folder.c_str(), W_OK | X_OK) == 0; }

bool MakePrivateFolder(const std::string& folder) {
    if (folder.empty()) return false;
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakePrivateFolder(folder.substr(0, slash))) return false;
    if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST)
        return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    return false;
}
