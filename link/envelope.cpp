#include "link/envelope.h"

#include <cstdint>
#include <cstring>

#include "link/frame.h"

std::string SealEnvelope(const Blowfish& cipher, const std::string& frame) {
    std::string envelope = WrapEnvelope(frame);
    cipher.EncipherBlocks(reinterpret_cast<uint8_t*>(envelope.data()), envelope.size());
    return envelope;
}

EnvelopeTake TakeEnvelope(const Blowfish& cipher, std::string_view bytes) {
    EnvelopeTake take;
    if (bytes.size() < 8) return take;
    // Deciphered in place of a copy: the first block once, for its length
    // byte, and the rest only when the whole envelope is there.
    uint8_t envelope[(1 + kMaxFrameLength + 7) / 8 * 8];
    std::memcpy(envelope, bytes.data(), 8);
    cipher.DecipherBlocks(envelope, 8);
    const size_t length = envelope[0];
    if (length == 0 || length > kMaxFrameLength) {
        take.read = EnvelopeRead::Bad;
        return take;
    }
    const size_t total = (1 + length + 7) / 8 * 8;
    if (bytes.size() < total) return take;
    std::memcpy(envelope + 8, bytes.data() + 8, total - 8);
    cipher.DecipherBlocks(envelope + 8, total - 8);
    take.read = EnvelopeRead::Frame;
    take.frame.assign(reinterpret_cast<const char*>(envelope) + 1, length);
    take.used = total;
    return take;
}
