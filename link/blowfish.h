// Blowfish, 16 rounds, ECB on 8-byte blocks. On the wire bytes 0-3 of a block are
// the left half and bytes 4-7 the right half, both little-endian.
#pragma once
#include <cstddef>
#include <cstdint>

namespace blowfish_tables {
extern const uint32_t kInitP[18];
extern const uint32_t kInitS[4][256];
}  // namespace blowfish_tables

class Blowfish {
public:
    Blowfish();
    Blowfish(const uint8_t* key, size_t keyLength);
    void SetKey(const uint8_t* key, size_t keyLength);

    void EncipherHalves(uint32_t& left, uint32_t& right) const;
    void DecipherHalves(uint32_t& left, uint32_t& right) const;

    // In place, block by block; a trailing partial block is left as it is.
    void EncipherBlocks(uint8_t* data, size_t length) const;
    void DecipherBlocks(uint8_t* data, size_t length) const;

private:
    uint32_t F(uint32_t x) const;
    uint32_t p_[18];
    uint32_t s_[4][256];
};
