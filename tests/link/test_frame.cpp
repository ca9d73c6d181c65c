#include <gtest/gtest.h>

#include "link/frame.h"
#include "link_peers.h"

using namespace linktest;

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(Frame, ChecksumWrapsBeforeBitSevenIsSet) {
    const std::string high = "\xf0\xf0\x21";   // 0x201 -> 0x01 -> 0x81
    EXPECT_EQ(ComputeChecksum(Bytes(high), high.size()), 0x81);
    EXPECT_EQ(ComputeChecksum(Bytes(std::string()), 0), 0x80);
}

TEST(Frame, BulkReadIsRecognisedByOperationAndCode) {
    std::string frame;
    ASSERT_TRUE(BuildRequestFrame("0001rgrea;;", frame));
    EXPECT_TRUE(IsBulkRead(frame));
    ASSERT_TRUE(BuildRequestFrame("0001wgrea;1;", frame));
    EXPECT_FALSE(IsBulkRead(frame));
}

TEST(Frame, ReplyAcceptance) {
    std::string kept;
    ParsedReply out;
    const std::string ok = ReplyFrame("00011" "17;");
    ASSERT_EQ(AcceptReply(Bytes(ok), ok.size(), kept, out), kResultOk);
    EXPECT_EQ(out.status, '1');
    EXPECT_EQ(out.data, "17");
    EXPECT_EQ(kept, ok);

    // A high byte in the data still checks out.
    const std::string high = ReplyFrame("00011" "\xb5\xf7;");
    ASSERT_EQ(AcceptReply(Bytes(high), high.size(), kept, out), kResultOk);
    EXPECT_EQ(out.data, "\xb5\xf7");

    ParsedReply untouched;
    untouched.status = 'x';
    untouched.data = "old";
    std::string bad = ok;
    bad[bad.size() - 2] ^= 0x01;
    EXPECT_EQ(AcceptReply(Bytes(bad), bad.size(), kept, untouched), kErrBadChecksum);
    EXPECT_EQ(kept, bad);
    const std::string noStx = "0001117;\x80\x03";
    EXPECT_EQ(AcceptReply(Bytes(noStx), noStx.size(), kept, untouched), kErrInvalidReply);
    const std::string shortFrame = "\x02\x03";
    EXPECT_EQ(AcceptReply(Bytes(shortFrame), shortFrame.size(), kept, untouched), kErrInvalidReply);
    const std::string none = "\x02" "0001";
    EXPECT_EQ(AcceptReply(Bytes(none), none.size(), kept, untouched), kErrNoEtx);
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(untouched.status, 'x');
    EXPECT_EQ(untouched.data, "old");
}

}  // namespace
