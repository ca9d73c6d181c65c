#include "support/temp_folder.h"

#include <stdlib.h>

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

}  // namespace testsupport
