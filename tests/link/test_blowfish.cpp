#include <gtest/gtest.h>

#include <cstring>

#include "link/blowfish.h"
#include "link/shared_key.h"

namespace {

struct Vector {
    uint64_t key, plain, cipher;
};

// Published 8-byte-key test vectors (big-endian halves).
const Vector kVectors[] = {
    {0x0000000000000000ULL, 0x0000000000000000ULL, 0x4EF997456198DD78ULL},
    {0xFFFFFFFFFFFFFFFFULL, 0xFFFFFFFFFFFFFFFFULL, 0x51866FD5B85ECB8AULL},
    {0x3000000000000000ULL, 0x1000000000000001ULL, 0x7D856F9A613063F2ULL},
    {0x1111111111111111ULL, 0x1111111111111111ULL, 0x2466DD878B963C9DULL},
    {0x0123456789ABCDEFULL, 0x1111111111111111ULL, 0x61F9C3802281B096ULL},
    {0xFEDCBA9876543210ULL, 0x0123456789ABCDEFULL, 0x0ACEAB0FC6A0A28DULL},
};

TEST(Blowfish, PublishedVectorsEncipherAndDecipher) {
    for (const Vector& v : kVectors) {
        uint8_t key[8];
        for (int i = 0; i < 8; ++i) key[i] = uint8_t(v.key >> (56 - 8 * i));
        Blowfish bf(key, 8);
        uint32_t l = uint32_t(v.plain >> 32), r = uint32_t(v.plain);
        bf.EncipherHalves(l, r);
        EXPECT_EQ((uint64_t(l) << 32) | r, v.cipher) << std::hex << v.key;
        bf.DecipherHalves(l, r);
        EXPECT_EQ((uint64_t(l) << 32) | r, v.plain);
    }
}

TEST(Blowfish, BlockBytesAreLittleEndianHalves) {
    Blowfish bf(LinkKey(), kLinkKeyLength);
    uint8_t block[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    uint32_t l = 0x03020100, r = 0x07060504;
    bf.EncipherHalves(l, r);
    bf.EncipherBlocks(block, 8);
    EXPECT_EQ(uint32_t(block[0] | block[1] << 8 | block[2] << 16 | uint32_t(block[3]) << 24), l);
    EXPECT_EQ(uint32_t(block[4] | block[5] << 8 | block[6] << 16 | uint32_t(block[7]) << 24), r);
    bf.DecipherBlocks(block, 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(block[i], i);
}

TEST(Blowfish, DefaultLinkKeyIsTheAgreedText) {
    EXPECT_EQ(std::memcmp(LinkKey(), "Tavrin unit link: shared Blowfish key, 52 bytes long", 52), 0);
}

}  // namespace
