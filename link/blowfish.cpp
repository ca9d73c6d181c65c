#include "link/blowfish.h"

#include <cstring>
#include <utility>

Blowfish::Blowfish() {
    std::memcpy(p_, blowfish_tables::kInitP, sizeof p_);
    std::memcpy(s_, blowfish_tables::kInitS, sizeof s_);
}

Blowfish::Blowfish(const uint8_t* key, size_t keyLength) { SetKey(key, keyLength); }

uint32_t Blowfish::F(uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void Blowfish::EncipherHalves(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    for (int i = 0; i < 16; ++i) {
        l ^= p_[i];
        r ^= F(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p_[16];
    l ^= p_[17];
    left = l;
    right = r;
}

void Blowfish::DecipherHalves(uint32_t& left, uint32_t& right) const {
    uint32_t l = left, r = right;
    for (int i = 17; i > 1; --i) {
        l ^= p_[i];
        r ^= F(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p_[1];
    l ^= p_[0];
    left = l;
    right = r;
}

void Blowfish::SetKey(const uint8_t* key, size_t keyLength) {
    std::memcpy(p_, blowfish_tables::kInitP, sizeof p_);
    std::memcpy(s_, blowfish_tables::kInitS, sizeof s_);
    size_t k = 0;
    for (uint32_t& p : p_) {
        uint32_t word = 0;
        for (int b = 0; b < 4; ++b) {
            word = (word << 8) | (keyLength ? key[k] : 0);
            if (keyLength) k = (k + 1) % keyLength;
        }
        p ^= word;
    }
    uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        EncipherHalves(l, r);
        p_[i] = l;
        p_[i + 1] = r;
    }
    for (auto& box : s_) {
        for (int i = 0; i < 256; i += 2) {
            EncipherHalves(l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

namespace {
uint32_t LoadLe(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
void StoreLe(uint8_t* b, uint32_t v) {
    b[0] = uint8_t(v);
    b[1] = uint8_t(v >> 8);
    b[2] = uint8_t(v >> 16);
    b[3] = uint8_t(v >> 24);
}
}  // namespace

void Blowfish::EncipherBlocks(uint8_t* data, size_t length) const {
    for (size_t off = 0; off + 8 <= length; off += 8) {
        uint32_t l = LoadLe(data + off), r = LoadLe(data + off + 4);
        EncipherHalves(l, r);
        StoreLe(data + off, l);
        StoreLe(data + off + 4, r);
    }
}

void Blowfish::DecipherBlocks(uint8_t* data, size_t length) const {
    for (size_t off = 0; off + 8 <= length; off += 8) {
        uint32_t l = LoadLe(data + off), r = LoadLe(data + off + 4);
        DecipherHalves(l, r);
        StoreLe(data + off, l);
        StoreLe(data + off + 4, r);
    }
}
