#include "support/temp_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace testsupport {

TempFolder::TempFolder(const std::string& prefix) {
    // $TMPDIR or /tmp (Windows: %TEMP%), and six random letters, as mkdtemp would.
    const char* base = std::getenv("TMPDIR");
    std::error_code error;
    const std::string folder =
        base && *base ? std::string(base) : std::filesystem::temp_directory_path(error).generic_string();
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = (folder.empty() ? std::string("/tmp") : folder);
        if (candidate.back() != '/') candidate += '/';
        candidate += prefix + "-";
        for (int i = 0; i < 6; ++i) candidate += kLetters[pick(generator)];
        if (std::filesystem::create_directory(candidate, error)) {
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder in " + folder);
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
