// A request text framed as the link sends it: STX, the text, checksum, ETX.
// Fails the test when no frame can carry the text.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "link/frame.h"

namespace testsupport {

inline std::string Frame(const std::string& text) {
    std::string frame;
    EXPECT_TRUE(BuildRequestFrame(text, frame)) << "a text no frame can carry: " << text;
    return frame;
}

}  // namespace testsupport
