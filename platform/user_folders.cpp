#include "platform/user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/build_info.h"
#include "platform/program_folder.h"

namespace {

bool IsFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// An XDG base folder: the variable when it holds an absolute path, else
// HOME followed by `fallback`; "" when there is no home either.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + fallback;
}

std::string UserFolder(const char* variable, const char* fallback) {
    const std::string base = XdgFolder(variable, fallback);
    return base.empty() ? std::string() : base + "/" + kUserFolderName;
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

bool RunsInstalled() {
    switch (ProgramFolderMode()) {
    case FolderMode::Portable: return false;
    case FolderMode::Installed: return true;
    case FolderMode::Detect: break;
    }
    const std::string folder = ProgramFolder();
    if (IsFile(folder + "/" + kInstalledMarkFromProgramFolder)) return true;
    return access(folder.c_str(), W_OK | X_OK) != 0;
}

std::string SettingsFolder() {
    return RunsInstalled() ? UserFolder("XDG_CONFIG_HOME", "/.config") : ProgramFolder();
}

std::string StateFolder() {
    return RunsInstalled() ? UserFolder("XDG_STATE_HOME", "/.local/state") : ProgramFolder();
}

std::string PortsFolder() {
    const std::string settings = SettingsFolder();
    return settings.empty() ? std::string() : settings + "/ports";
}

std::string EventLogFilePath() {
    const std::string state = StateFolder();
    return state.empty() ? std::string() : state + "/" + kEventLogFileName;
}

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

namespace {
std::string Ensure(const std::string& folder) {
    if (!RunsInstalled()) return folder;
    return MakePrivateFolder(folder) ? folder : std::string();
}
}  // namespace

std::string EnsureSettingsFolder() { return Ensure(SettingsFolder()); }
std::string EnsureStateFolder() { return Ensure(StateFolder()); }
