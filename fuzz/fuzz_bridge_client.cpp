// The bridge's reading of a client's bytes: any bytes, fed in pieces of any
// size, give request texts that Transact frames back into a valid frame, use
// up no more than what came, and never leave a whole envelope unread.
#include <algorithm>

#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/envelope.h"
#include "link/frame.h"
#include "link/shared_key.h"
#include "tools/tavrin_bridge/client_protocol.h"

namespace {

const Blowfish& LinkCipher() {
    static const Blowfish cipher(LinkKey(), kLinkKeyLength);
    return cipher;
}

}  // namespace

SeedList FuzzSeeds() {
    SeedList seeds;
    int n = 0;
    std::string all;
    for (const std::string& frame : SeedRequestFrames()) {
        const std::string envelope = SealEnvelope(LinkCipher(), frame);
        seeds.emplace_back("request_" + std::to_string(n++), envelope);
        all += envelope;
    }
    seeds.emplace_back("all_requests", all);
    seeds.emplace_back("garbage", std::string(24, '\x55'));
    return seeds;
}

namespace {

// The bytes a whole envelope at the front of `bytes` takes, read here on its
// own from the deciphered length byte; 0 when that is no frame's length.
size_t FrontEnvelopeSize(std::string_view bytes) {
    uint8_t head[8];
    std::copy_n(bytes.data(), 8, head);
    LinkCipher().DecipherBlocks(head, 8);
    const size_t length = head[0];
    return length == 0 || length > kMaxFrameLength ? 0 : (1 + length + 7) / 8 * 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* const bytes = reinterpret_cast<const char*>(data);
    // The first byte picks the size of the pieces the bytes come in.
    const size_t piece = size == 0 ? 1 : size_t(data[0] % 64) + 1;
    std::string pending;
    size_t requests = 0;
    size_t front = 0;   // FrontEnvelopeSize(pending), while the front stays where it was
    bool frontKnown = false;
    for (size_t at = 0; at < size; at += piece) {
        pending.append(bytes + at, std::min(piece, size - at));
        const ClientBytes got = ReadClientBytes(LinkCipher(), pending, 8);
        FUZZ_CHECK(got.used <= pending.size());
        FUZZ_CHECK(got.requests.size() <= 8);
        FUZZ_CHECK(got.badFrames >= 0);
        for (const std::string& text : got.requests) {
            std::string frame;
            FUZZ_CHECK(BuildRequestFrame(text, frame));
            FUZZ_CHECK(frame.size() <= kMaxFrameLength);
            // The frame Transact sends is one the bridge takes again as it is.
            FUZZ_CHECK(RequestTextOfFrame(frame) == text);
        }
        requests += got.requests.size();
        pending.erase(0, got.used);
        if (got.used > 0) frontKnown = false;
        // What is left is less than a whole envelope (and begins with a
        // frame's length), unless the request bound stopped the reading.
        if (got.requests.size() < 8 && pending.size() >= 8) {
            if (!frontKnown) front = FrontEnvelopeSize(pending);
            frontKnown = true;
            FUZZ_CHECK(front != 0 && pending.size() < front);
        }
    }
    FUZZ_CHECK(requests <= size / 8);
    return 0;
}
