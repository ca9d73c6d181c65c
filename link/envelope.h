// The TCP envelope, as both ends of a connection read and write it: length
// byte, frame, 0xFF padding to a multiple of 8, all enciphered with Blowfish.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "link/blowfish.h"

// Wraps `frame` (WrapEnvelope) and enciphers the whole envelope.
std::string SealEnvelope(const Blowfish& cipher, const std::string& frame);

enum class EnvelopeRead {
    NeedMore,   // the bytes hold no whole envelope yet
    Frame,      // one envelope: `frame` and `used`
    Bad,        // the first block's length byte is 0 or beyond a frame's length
};

struct EnvelopeTake {
    EnvelopeRead read = EnvelopeRead::NeedMore;
    std::string frame;   // the deciphered frame (length byte's worth of bytes)
    size_t used = 0;     // bytes of `bytes` the envelope took (a multiple of 8)
};

// Looks at the envelope at the front of the enciphered `bytes`. Pure: nothing
// is changed, so a caller decides what to drop.
EnvelopeTake TakeEnvelope(const Blowfish& cipher, std::string_view bytes);
