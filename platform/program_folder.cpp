#include "platform/program_folder.h"

#include <mutex>

namespace {
std::mutex g_folderMutex;
std::string g_folder;
bool g_folderSet = false;
FolderMode g_mode = FolderMode::Detect;
}  // namespace

const std::string& ProgramFolder() {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    if (!g_folderSet) {
        g_folder = ExecutableFolder();
        g_folderSet = true;
    }
    return g_folder;
}

FolderMode ProgramFolderMode() {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    return g_mode;
}

void SetProgramFolder(const std::string& folder, FolderMode mode) {
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_folder = folder;
    g_folderSet = true;
    g_mode = mode;
}
