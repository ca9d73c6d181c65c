// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end.
#pragma once
#include <sys/types.h>

#include <set>
#include <string>

namespace testsupport {

class TempFolder {
public:
    // The folder is named <prefix>-XXXXXX; a folder that cannot be made throws.
    explicit TempFolder(const std::string& prefix = "tavrin-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "/" + name; }

    std::string path;   // the same as Path(), for the tests that read it directly
};

// Every path below `root`, relative to it: what a run left in a tree.
std::set<std::string> TreeOf(const std::string& root);
// The permission bits of `path` (07777), or mode_t(-1) when it is not there.
mode_t ModeOf(const std::string& path);

}  // namespace testsupport
