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
    uint8_t head[8];
    std::memcpy(head, bytes.data(), 8);
    cipher.DecipherBlocks(head, 8);
    const size_t length = head[0];
    if (length == 0 || length > kMaxFrameLength) {
        take.read = EnvelopeRead::Bad;
        return take;
    }
    const size_t total = (1 + length + 7) / 8 * 8;
    if (bytes.size() < total) return take;
    std::string envelope(bytes.substr(0, total));
    cipher.DecipherBlocks(reinterpret_cast<uint8_t*>(envelope.data()), envelope.size());
    take.read = EnvelopeRead::Frame;
    take.frame = envelope.substr(1, length);
    take.used = total;
    return take;
}
