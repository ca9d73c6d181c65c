// The bridge's reading of a client's bytes: any bytes, fed in pieces of any
// size, give request texts that Transact frames back into a valid frame, use
// up no more than what came, and never leave a whole envelope unread.
#include <algorithm>

#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/envelope.h"
#include "link/frame.h"
#include "link/link_key.h"
#include "tools/tavrin_bridge/client_protocol.h"

namespace {

const Blowfish& LinkCipher() {
    static const Blowfish cipher(kLinkKey, sizeof kLinkKey);
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The first byte picks the size of the pieces the bytes come in.
    const size_t piece = size == 0 ? 1 : size_t(data[0] % 64) + 1;
    std::string pending;
    size_t requests = 0;
    for (size_t at = 0; at < input.size(); at += piece) {
        pending += input.substr(at, piece);
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
        // What is left is less than a whole envelope, unless the request bound stopped the reading.
        if (got.requests.size() < 8)
            FUZZ_CHECK(TakeEnvelope(LinkCipher(), pending).read == EnvelopeRead::NeedMore);
    }
    FUZZ_CHECK(requests <= size / 8);
    return 0;
}
