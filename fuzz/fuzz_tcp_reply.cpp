// The TCP receive path: up to 256 received bytes are deciphered block by block
// and parsed as a reply. Any bytes from the network end in one of the reply
// outcomes without reading or writing outside the receive buffer.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/blowfish.h"
#include "link/frame.h"
#include "link/shared_key.h"

namespace {

const Blowfish& LinkCipher() {
    static const Blowfish cipher(LinkKey(), kLinkKeyLength);
    return cipher;
}

std::string Encipher(std::string bytes) {
    LinkCipher().EncipherBlocks(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
    return bytes;
}

}  // namespace

SeedList FuzzSeeds() {
    SeedList seeds;
    int n = 0;
    for (const std::string& reply : SeedReplyFrames()) {
        const std::string envelope = Encipher(WrapEnvelope(reply));
        seeds.emplace_back("envelope_" + std::to_string(n), envelope);
        // A reply split over two segments: the first one alone.
        seeds.emplace_back("first_segment_" + std::to_string(n), envelope.substr(0, 8));
        ++n;
    }
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One receive takes at most 256 bytes; the buffer holds them and a terminator.
    const size_t received = std::min(size, kReceiveBufferSize);
    uint8_t* buffer = new uint8_t[kReceiveBufferSize + 1]();
    std::memcpy(buffer, data, received);
    // A last partial block is deciphered together with the bytes after it.
    const size_t blocks = std::min((received + 7) / 8 * 8, kReceiveBufferSize);
    LinkCipher().DecipherBlocks(buffer, blocks);
    buffer[received] = 0;

    std::string kept;
    ParsedReply out;
    out.status = -1;
    const ResultCode rc = AcceptReply(buffer, received, kept, out);
    FUZZ_CHECK(rc == kResultOk || rc == kErrNoEtx || rc == kErrInvalidReply || rc == kErrBadChecksum);
    FUZZ_CHECK(kept.size() <= received);
    if (rc == kResultOk) FUZZ_CHECK(out.status == '1' || out.status == 'E');
    else FUZZ_CHECK(out.status == -1);

    // Whatever was deciphered enciphers back to what came in (the whole blocks
    // before the terminator).
    const size_t full = received / 8 * 8;
    std::string again(reinterpret_cast<const char*>(buffer), full);
    LinkCipher().EncipherBlocks(reinterpret_cast<uint8_t*>(again.data()), again.size());
    FUZZ_CHECK(std::memcmp(again.data(), data, full) == 0);
    delete[] buffer;

    // A request envelope made from the input as a frame text deciphers to itself.
    std::string frame;
    const std::string text(reinterpret_cast<const char*>(data), std::min(size, kMaxRequestText));
    if (BuildRequestFrame(text, frame)) {
        const std::string envelope = WrapEnvelope(frame);
        FUZZ_CHECK(envelope.size() % 8 == 0 && envelope.size() <= 248);
        FUZZ_CHECK(uint8_t(envelope[0]) == frame.size());
        std::string wire = Encipher(envelope);
        LinkCipher().DecipherBlocks(reinterpret_cast<uint8_t*>(wire.data()), wire.size());
        FUZZ_CHECK(wire == envelope);
    }
    return 0;
}
