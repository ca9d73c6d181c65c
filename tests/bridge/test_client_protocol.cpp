// The bridge's reading of client bytes: whole envelopes only, request frames
// checked whole, bad ones counted and dropped, the rest left for later.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "bridge/bridge_rig.h"
#include "link/envelope.h"
#include "link/frame.h"
#include "support/frame_text.h"
#include "tools/tavrin_bridge/allow_list.h"
#include "tools/tavrin_bridge/client_protocol.h"

using namespace bridgetest;
using testsupport::Frame;

namespace {

// An enciphered block whose length byte reads `length`.
std::string BlockWithLength(uint8_t length) {
    std::string block(8, '\xFF');
    block[0] = char(length);
    LinkCipher().EncipherBlocks(reinterpret_cast<uint8_t*>(block.data()), block.size());
    return block;
}

}  // namespace

TEST(ClientProtocol, RequestFramesAreCheckedWhole) {
    const std::string good = Frame("\x02" "0001r1loc;;");
    ASSERT_EQ(RequestTextOfFrame(good), std::optional<std::string>("\x02" "0001r1loc;;"));
    // Transact builds the very same frame from the text.
    std::string rebuilt;
    ASSERT_TRUE(BuildRequestFrame(*RequestTextOfFrame(good), rebuilt));
    EXPECT_EQ(rebuilt, good);

    std::string badSum = good;
    badSum[badSum.size() - 2] = char(uint8_t(badSum[badSum.size() - 2]) ^ 1);
    // Right checksums around a byte that would cut the frame short.
    const std::string innerEtx = Frame(std::string("\x02" "00\x03" "1r1loc;;"));
    const std::string innerNul = Frame(std::string("\x02" "00\0" "1r1loc;;", 12));
    const std::string longText = "\x02" "0001w1nam;" + std::string(250, 'x') + ";";
    std::string tooLong = longText;
    tooLong.push_back(char(ComputeChecksum(reinterpret_cast<const uint8_t*>(longText.data()) + 1, longText.size() - 1)));
    tooLong.push_back('\x03');
    for (const std::string& bad : {badSum, innerEtx, innerNul, good.substr(1), good.substr(0, good.size() - 1),
                                   std::string("\x02\x83\x03", 3), tooLong, std::string()})
        EXPECT_FALSE(RequestTextOfFrame(bad).has_value()) << bad.size();
}

TEST(ClientProtocol, WholeEnvelopesOnlyInOrderAndBadOnesCounted) {
    const Blowfish cipher = LinkCipher();
    const std::string a = SealEnvelope(cipher, Frame("0001r1loc;;"));
    const std::string b = SealEnvelope(cipher, Frame("0001r1snr;;"));
    std::string notAFrame = SealEnvelope(cipher, "hello");
    std::string bytes = a + BlockWithLength(0) + notAFrame + BlockWithLength(250) + b;

    // Byte by byte, the requests come out once each envelope is whole.
    std::string pending;
    std::vector<std::string> requests;
    int bad = 0;
    for (const char c : bytes) {
        pending.push_back(c);
        const ClientBytes got = ReadClientBytes(cipher, pending, 8);
        pending.erase(0, got.used);
        bad += got.badFrames;
        requests.insert(requests.end(), got.requests.begin(), got.requests.end());
    }
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(bad, 3);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], "\x02" "0001r1loc;;");
    EXPECT_EQ(requests[1], "\x02" "0001r1snr;;");

    // All at once, bounded by the number of requests asked for.
    const ClientBytes first = ReadClientBytes(cipher, a + b + a.substr(0, 5), 1);
    ASSERT_EQ(first.requests.size(), 1u);
    EXPECT_EQ(first.used, a.size());
    const ClientBytes rest = ReadClientBytes(cipher, (a + b + a.substr(0, 5)).substr(first.used), 8);
    EXPECT_EQ(rest.requests.size(), 1u);
    EXPECT_EQ(rest.used, b.size());   // the partial envelope stays
}

TEST(ClientProtocol, KeyRequestsAreKnownByTheirCode) {
    EXPECT_TRUE(IsKeyRequest("\x02" "0001wzaes;0011;"));
    EXPECT_TRUE(IsKeyRequest("\x02" "0001wza25;0011;"));
    EXPECT_TRUE(IsKeyRequest("\x02" "0001wzebs;0011;"));
    EXPECT_FALSE(IsKeyRequest("\x02" "0001rzaes;;"));
    EXPECT_FALSE(IsKeyRequest("\x02" "0001wzdes;1;"));
}

TEST(ClientProtocol, ReadsAreToldFromEverythingElseByTheText) {
    const struct {
        const char* text;
        RequestKind kind;
        const char* code;
    } rows[] = {
        {"\x02" "0001r1loc;;", RequestKind::Read, "1loc"},
        {"\x02" "9999rgadd;;", RequestKind::Read, "gadd"},
        {"\x02" "0001wzaes;00112233;", RequestKind::Write, "zaes"},
        {"\x02" "0001r1loc;1;", RequestKind::Unknown, "1loc"},   // a read with data
        {"\x02" "0001x1loc;;", RequestKind::Unknown, "1loc"},
        {"\x02" "00a1r1loc;;", RequestKind::Unknown, "1loc"},
        {"\x02" "0001r1lo;;", RequestKind::Unknown, "1lo"},
        {"\x02" "0001wgmod;1;2;", RequestKind::Unknown, "gmod"},
        {"0001r1loc;;", RequestKind::Unknown, "loc"},
        {"\x02" "0001w\x01z a;;", RequestKind::Unknown, "za"},   // printable characters only
        {"", RequestKind::Unknown, "?"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(KindOfRequest(row.text), row.kind) << std::string(row.text);
        EXPECT_EQ(RequestCode(row.text), row.code) << std::string(row.text);
    }
}

TEST(ClientProtocol, AllowRangesMatchByPrefix) {
    const auto at = [](const char* dotted) {
        in_addr a{};
        ::inet_pton(AF_INET, dotted, &a);
        return ntohl(a.s_addr);
    };
    // A range, an address inside and one outside; the bad values are the
    // command line's (BridgeCommandLine).
    const char* rows[][3] = {{"127.0.0.2", "127.0.0.2", "127.0.0.3"},
                             {"192.168.4.0/22", "192.168.7.255", "192.168.8.0"},
                             {"0.0.0.0/0", "203.0.113.9", nullptr}};
    for (const auto& [text, inside, outside] : rows) {
        std::string why;
        const std::optional<AddressRange> range = ParseAddressRange(text, &why);
        ASSERT_TRUE(range.has_value()) << text << why;
        EXPECT_TRUE(AddressAllowed({*range}, at(inside))) << text;
        EXPECT_EQ(outside && AddressAllowed({*range}, at(outside)), false) << text;
    }
    EXPECT_TRUE(AddressAllowed({}, at("198.51.100.1")));   // no list: everyone
}
