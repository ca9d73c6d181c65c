#include "support/temp_folder.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

TempFolder::TempFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder " + pattern);
    path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::set<std::string> TreeOf(const std::string& root) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        names.insert(std::filesystem::relative(e.path(), root).string());
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
}

}  // namespace testsupport
