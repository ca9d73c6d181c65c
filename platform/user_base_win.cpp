// The user's folders on Windows: the known folders of the profile.
#include <shlobj.h>
#include <windows.h>

#include "platform/files.h"
#include "platform/program_folder.h"
#include "platform/user_folders.h"
#include "wide_text.h"

namespace {

std::string KnownFolder(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK && path)
        folder = WithForwardSlashes(Utf8(path));
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

std::string HomeFolder() { return KnownFolder(FOLDERID_Profile); }
std::string UserSettingsBase() { return KnownFolder(FOLDERID_RoamingAppData); }
std::string UserStateBase() { return KnownFolder(FOLDERID_LocalAppData); }

// The folder's read-only attribute says nothing for folders: a file is made
// and removed again to find out.
bool FolderWritable(const std::string& folder) { return CanCreateFileBeside(folder + "/.tavrin-write-check"); }

// The folders under the user's profile inherit its access rules, which keep
// other users out.
bool MakePrivateFolder(const std::string& folder) {
    if (folder.empty()) return false;
    const PathKind kind = KindOfPath(folder);
    if (kind != PathKind::Missing) return kind == PathKind::Folder;
    const size_t slash = folder.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && folder[slash - 1] != ':' &&
        !MakePrivateFolder(folder.substr(0, slash)))
        return false;
    return CreateDirectoryW(Wide(folder).c_str(), nullptr) || KindOfPath(folder) == PathKind::Folder;
}
