// The simulated unit's request parser: any bytes taken in as a frame give
// silence or one well-formed reply that the link accepts and that fits what
// the serial line and one TCP receive can carry.
#include <cstring>

#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/frame.h"
#include "sim/sim_unit.h"

namespace {

sim::SimUnit& Unit() {
    static sim::SimUnit* unit = [] {
        sim::SimOptions options;
        options.serial = false;
        options.restartMs = 0;   // a restart must not silence every later input
        options.drift = true;
        return new sim::SimUnit(options);
    }();
    return *unit;
}

void CheckReply(const std::string& reply) {
    if (reply.empty()) return;
    FUZZ_CHECK(reply.size() <= kMaxSerialReply);
    FUZZ_CHECK(WrapEnvelope(reply).size() <= kReceiveBufferSize);
    std::string kept;
    ParsedReply parsed;
    FUZZ_CHECK(AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, parsed) == kResultOk);
    FUZZ_CHECK(kept == reply);
    FUZZ_CHECK(parsed.status == '1' || parsed.status == 'E');
}

}  // namespace

SeedList FuzzSeeds() {
    SeedList seeds;
    int n = 0;
    for (const std::string& frame : SeedRequestFrames()) seeds.emplace_back("request_" + std::to_string(n++), frame);
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::SimUnit& unit = Unit();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckReply(unit.HandleFrame(bytes));

    // The same text framed with a correct checksum, as the link would send it,
    // so the fuzzer reaches past the checksum test.
    std::string body = bytes;
    if (body.size() >= 2 && uint8_t(body.back()) == kEtx) body.resize(body.size() - 2);
    std::string frame;
    if (BuildRequestFrame(body, frame)) CheckReply(unit.HandleFrame(frame));

    // The unit's request log is emptied after every input: memory kept from
    // one input to the next makes the fuzzer run a full leak scan each time.
    unit.ClearRequests();
    return 0;
}
