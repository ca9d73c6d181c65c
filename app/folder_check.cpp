#include "app/folder_check.h"

#include "platform/files.h"
#include "platform/program_folder.h"
#include "platform/user_folders.h"

namespace {

// Whether a file can be made in `folder`; the reason when not, taken where it
// arises (the first folder up the path that exists, when `folder` could not
// be made).
bool Writable(std::string folder, std::string& reason) {
    while (!folder.empty() && KindOfPath(folder) == PathKind::Missing) {
        const size_t slash = folder.find_last_of('/');
        folder = slash == std::string::npos || slash == 0 ? std::string("/") : folder.substr(0, slash);
    }
    return CanCreateFileBeside(folder + "/.tavrin-write-check", &reason);
}

void Check(const std::string& wanted, const std::string& made, const char* keeps,
           std::vector<FolderProblem>& out) {
    std::string reason;
    if (wanted.empty())
        out.push_back({"", keeps, "there is no home folder"});
    else if (!Writable(made.empty() ? wanted : made, reason))
        out.push_back({wanted, keeps, reason});
    else if (made.empty())
        out.push_back({wanted, keeps, "the folder cannot be made"});
}

}  // namespace

std::vector<FolderProblem> UnwritableFolders() {
    std::vector<FolderProblem> out;
    Check(SettingsFolder(), EnsureSettingsFolder(), "the settings", out);
    Check(StateFolder(), EnsureStateFolder(), "the transaction log and the event log", out);
    return out;
}

std::string FolderProblemsText(const std::vector<FolderProblem>& problems) {
    std::string text;
    for (const FolderProblem& p : problems) {
        if (!text.empty()) text += "\n";
        text += "Unable to keep " + p.keeps + ": ";
        text += p.folder.empty() ? p.reason : p.folder + ": " + p.reason;
    }
    if (!text.empty()) text += "\nThe program goes on without them.";
    return text;
}
