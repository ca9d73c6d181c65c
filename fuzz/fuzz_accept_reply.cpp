// Reply acceptance: any received bytes give one of the four outcomes, leave the
// caller's reply untouched on failure and never read past what was received.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/frame.h"

SeedList FuzzSeeds() {
    SeedList seeds;
    int n = 0;
    auto add = [&](const char* kind, const std::string& bytes) {
        seeds.emplace_back(std::string(kind) + "_" + std::to_string(n++), bytes);
    };
    for (const std::string& reply : SeedReplyFrames()) {
        add("reply", reply);
        add("noise", ByteString({0xFF, 0x00 + 'x', 0x7F, 0x80}) + reply);
        add("twice", reply + reply);
        add("no_etx", reply.substr(0, reply.size() - 1));
        std::string bad = reply;
        bad[bad.size() - 2] = char(uint8_t(bad[bad.size() - 2]) ^ 0x01);
        add("bad_sum", bad);
        std::string zero = reply;
        zero[zero.size() / 2] = '\0';
        add("zero", zero);
    }
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copy into a heap block of exactly `size` bytes (never a null pointer) so
    // that AddressSanitizer sees any read past the received bytes.
    std::unique_ptr<uint8_t[]> received(new uint8_t[size]);
    if (size) std::memcpy(received.get(), data, size);
    std::string kept = "previous";
    ParsedReply out;
    out.status = -1;
    out.data = "untouched";
    const ResultCode rc = AcceptReply(received.get(), size, kept, out);

    const size_t textLength = strnlen(reinterpret_cast<const char*>(data), size);
    const bool hasEtx = std::memchr(data, kEtx, textLength) != nullptr;
    FUZZ_CHECK(hasEtx == (rc != kErrNoEtx));
    if (rc == kErrNoEtx) {
        FUZZ_CHECK(kept.empty());
    } else {
        // The last-reply copy is the received text up to and including the first ETX.
        FUZZ_CHECK(!kept.empty() && kept.size() <= textLength);
        FUZZ_CHECK(uint8_t(kept.back()) == kEtx);
        FUZZ_CHECK(kept.find(char(kEtx)) == kept.size() - 1);
        FUZZ_CHECK(std::memcmp(kept.data(), data, kept.size()) == 0);
    }
    if (rc == kResultOk) {
        FUZZ_CHECK(out.status == '1' || out.status == 'E');
        FUZZ_CHECK(out.data.find(';') == std::string::npos);
        // What one receive can bring always fits the caller's 256-byte buffer.
        if (size <= kReceiveBufferSize) FUZZ_CHECK(out.data.size() < kReceiveBufferSize);
        const size_t stx = kept.find(char(kStx));
        FUZZ_CHECK(stx != std::string::npos);
        const std::string frame = kept.substr(stx);
        FUZZ_CHECK(ComputeChecksum(reinterpret_cast<const uint8_t*>(frame.data()) + 1, frame.size() - 3) ==
                   uint8_t(frame[frame.size() - 2]));
    } else {
        FUZZ_CHECK(rc == kErrNoEtx || rc == kErrInvalidReply || rc == kErrBadChecksum);
        FUZZ_CHECK(out.status == -1 && out.data == "untouched");
    }
    return 0;
}
