// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end.
#pragma once
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

}  // namespace testsupport
