// Shared by the configuration file targets: an input as a file whose
// checksum is right.
#pragma once
#include <string>
#include <string_view>

#include "pages/config_file.h"

// The same bytes with their last four (the stored checksum) replaced by the
// checksum of the bytes before them; a file of less than four bytes gets its
// checksum appended. Built in one allocation.
inline std::string WithChecksumMadeRight(std::string_view file) {
    const std::string_view body = file.size() >= 4 ? file.substr(0, file.size() - 4) : file;
    std::string made;
    made.reserve(body.size() + 4);
    made.append(body);
    AppendU32(made, ConfigFileCrc(body));
    return made;
}
