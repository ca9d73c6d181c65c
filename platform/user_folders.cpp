#include "platform/user_folders.h"

#include "platform/build_info.h"
#include "platform/files.h"
#include "platform/program_folder.h"

namespace {

std::string UserFolder(const std::string& base) { return base.empty() ? std::string() : base + "/" + kUserFolderName; }

}  // namespace

bool RunsInstalled() {
    switch (ProgramFolderMode()) {
    case FolderMode::Portable: return false;
    case FolderMode::Installed: return true;
    case FolderMode::Detect: break;
    }
    const std::string folder = ProgramFolder();
    if (KindOfPath(folder + "/" + kInstalledMarkFromProgramFolder) == PathKind::File) return true;
    return !FolderWritable(folder);
}

std::string SettingsFolder() { return RunsInstalled() ? UserFolder(UserSettingsBase()) : ProgramFolder(); }

std::string StateFolder() { return RunsInstalled() ? UserFolder(UserStateBase()) : ProgramFolder(); }

std::string PortsFolder() {
    const std::string settings = SettingsFolder();
    return settings.empty() ? std::string() : settings + "/ports";
}

std::string EventLogFilePath() {
    const std::string state = StateFolder();
    return state.empty() ? std::string() : state + "/" + kEventLogFileName;
}

namespace {
std::string Ensure(const std::string& folder) {
    if (!RunsInstalled()) return folder;
    return MakePrivateFolder(folder) ? folder : std::string();
}
}  // namespace

std::string EnsureSettingsFolder() { return Ensure(SettingsFolder()); }
std::string EnsureStateFolder() { return Ensure(StateFolder()); }
