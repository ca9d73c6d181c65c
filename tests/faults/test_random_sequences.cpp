// Thousands of reads through the real link, on both transports, while the
// simulated unit meets a random share of them with a fault drawn at random:
// silence, noise, bad checksum, no ETX, a split reply, a dropped connection, a
// slow or late reply (the next request goes out at once), a repeated reply, a
// flood, a drip or a restart. The unit's oracle makes every value name the
// code it was read from, so after every exchange:
//   - an accepted reply is the one to its own request, or else the link tells
//     of a reply not asked for by the end of the next exchange: a reply later
//     than the quiet gap after a failure cannot be told from the next one's,
//     only noticed when the next one's own reply follows it (when the unit
//     withheld that reply, nothing follows and nothing can tell: a reply
//     names no request; such shifts are counted, and bounded with the rest);
//   - a failed exchange gives a result code the link may give on its transport;
//   - no exchange runs past three times its bound;
// and once the faults stop the link reaches the unit again.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <thread>
#include <vector>

#include "faults/random_run.h"
#include "link/result_codes.h"
#include "sim/sim_table.h"
#include "support/sim_rig.h"

namespace {

using std::chrono::milliseconds;
using testsupport::Exchange;
using testsupport::Transport;

constexpr uint32_t kReadConstantMs = 80;   // short serial time-outs keep silent replies cheap
constexpr uint32_t kQuietMs = 60;          // the line counts as quiet after this gap
constexpr uint32_t kRestartMs = 300;
constexpr double kFaultShare = 0.08;
constexpr milliseconds kSlack{2000};

// What a failed read may end with, by transport (the link's result codes).
bool SpecifiedFailure(Transport transport, ResultCode rc) {
    switch (rc) {
        case kErrRead: case kErrWrite: case kErrInvalidReply: case kErrBadChecksum: case kErrNoEtx: return true;
        case kErrTimedOut: return transport == Transport::Serial;        // a silent serial unit
        case kErrNoConnection: return transport == Transport::Tcp;       // no connection could be made
        default: return false;
    }
}

class RandomSequences : public ::testing::TestWithParam<Transport> {
protected:
    static testsupport::SimRigOptions Options(Transport transport, uint32_t seed) {
        testsupport::SimRigOptions o;
        o.transport = transport;
        o.oracle = true;
        o.seed = seed;
        o.restartMs = kRestartMs;
        o.readConstantMs = kReadConstantMs;
        o.readMultiplierMs = 1;
        return o;
    }

    // The longest one exchange may take: every attempt, the settling of a
    // line after a failure, the longest fault delay and a restart.
    milliseconds Bound(const testsupport::SimRig& rig, milliseconds maxFault) const {
        const bool serial = GetParam() == Transport::Serial;
        const milliseconds attempts = (serial ? 3 : 1) * rig.AttemptBound();
        return attempts + 2 * milliseconds(kQuietMs) + maxFault + milliseconds(kRestartMs);
    }
};

TEST_P(RandomSequences, AcceptedRepliesAreTheirOwnFailuresAreSpecifiedAndTheLinkRecovers) {
    const uint32_t seed = randomrun::Seed();
    const uint64_t exchanges = randomrun::EnvNumber("TAVRIN_FAULT_EXCHANGES", 1500);
    SCOPED_TRACE(randomrun::Replay(seed));
    std::printf("random fault sequence: %s, %llu exchanges\n", randomrun::Replay(seed).c_str(),
                static_cast<unsigned long long>(exchanges));

    testsupport::SimRig rig(Options(GetParam(), seed));
    {
        SerialTimeouts kept = rig.link->CommTimeouts();
        kept.readInterval = kQuietMs;
        rig.link->SetCommTimeouts(kept);
    }
    ASSERT_TRUE(rig.Start());
    const milliseconds maxFault = rig.AttemptBound() * 3 / 2;
    const milliseconds limit = 3 * Bound(rig, maxFault) + kSlack;
    rig.unit->SetRandomFaults(kFaultShare, uint32_t(maxFault.count()));

    const std::vector<std::string> codes = randomrun::TellingCodes();
    ASSERT_FALSE(codes.empty());
    std::mt19937 pick(seed);
    std::map<ResultCode, int> failures;
    int accepted = 0, shifted = 0, untold = 0, untellable = 0, unspecified = 0, overran = 0;
    int64_t shiftAt = -1;   // an accepted reply that was not its own, until told
    uint64_t withheldAtShift = 0;
    const auto withheld = [&] {
        const sim::SimCounters n = rig.unit->Counters();
        return n.repliesWithheld + n.ignoredRestarting;
    };
    for (uint64_t i = 0; i < exchanges; ++i) {
        const std::string& code = codes[std::uniform_int_distribution<size_t>(0, codes.size() - 1)(pick)];
        const uint64_t toldBefore = rig.link->UnrequestedReplies();
        const uint64_t withheldBefore = withheld();
        const Exchange x = rig.Transact("0001r" + code + ";;");
        if (shiftAt >= 0 && rig.link->UnrequestedReplies() == toldBefore) {
            if (withheld() > withheldAtShift) {
                ++untellable;
                std::printf("  exchange %lld: its own reply was withheld, so nothing could tell\n",
                            static_cast<long long>(shiftAt));
            } else if (++untold <= 5) {
                ADD_FAILURE() << "exchange " << shiftAt << " took another request's reply and the link did not tell";
            }
        }
        shiftAt = -1;
        if (x.elapsed > limit && ++overran <= 5)
            ADD_FAILURE() << "exchange " << i << " (" << code << ") took " << x.elapsed.count() << " ms, bound "
                          << limit.count() << " ms";
        if (x.rc == kResultOk) {
            ++accepted;
            const bool own = x.status == '1' && sim::OracleBelongs(code, x.data);
            if (!own) {
                ++shifted;
                shiftAt = int64_t(i);
                withheldAtShift = withheldBefore;
                std::printf("  exchange %llu: the read of %s was answered with status %c \"%s\"\n",
                            static_cast<unsigned long long>(i), code.c_str(), x.status, x.data.c_str());
            }
        } else {
            ++failures[x.rc];
            if (!SpecifiedFailure(GetParam(), x.rc) && ++unspecified <= 5)
                ADD_FAILURE() << "exchange " << i << " (" << code << ") failed with " << std::hex << x.rc;
            // A restarting unit refuses connections at once; a caller such as
            // the poll thread tries again a little later, not in a tight loop.
            if (x.rc == kErrNoConnection) std::this_thread::sleep_for(milliseconds(20));
        }
    }
    const uint64_t drawn = rig.unit->Counters().randomFaults;
    std::printf("  accepted %d (%d of them another request's: %d told, %d not tellable), failed %llu, faults drawn "
                "%llu\n",
                accepted, shifted, shifted - untold - untellable, untellable,
                static_cast<unsigned long long>(exchanges - uint64_t(accepted)),
                static_cast<unsigned long long>(drawn));
    for (const auto& [rc, n] : failures) std::printf("  result %x: %d\n", rc, n);
    EXPECT_EQ(untold, 0);
    EXPECT_LE(shifted, int(exchanges / 100)) << "shifts are compound faults, rare by nature";
    EXPECT_EQ(unspecified, 0);
    EXPECT_EQ(overran, 0);
    EXPECT_GT(drawn, exchanges * kFaultShare / 2);
    EXPECT_GT(uint64_t(accepted), exchanges / 2);

    // The faults stop: once the unit is back from any restart, the link
    // reaches it within a few exchanges and then every read is its own.
    rig.unit->SetRandomFaults(0.0, 0);
    for (int i = 0; i < 200 && rig.unit->IsRestarting(); ++i) std::this_thread::sleep_for(milliseconds(10));
    ASSERT_FALSE(rig.unit->IsRestarting());
    int tries = 0;
    Exchange first;
    while (tries < 3 && (first = rig.Transact("0001r1snr;;")).rc != kResultOk) ++tries;
    ASSERT_EQ(first.rc, kResultOk) << "no accepted reply in 3 exchanges after the faults stopped";
    for (int i = 0; i < 40; ++i) {
        const std::string& code = codes[size_t(i) % codes.size()];
        const Exchange x = rig.Transact("0001r" + code + ";;");
        ASSERT_EQ(x.rc, kResultOk) << "clean exchange " << i << " (" << code << ")";
        EXPECT_TRUE(sim::OracleBelongs(code, x.data)) << code << " = " << x.data;
    }
    EXPECT_EQ(rig.link->Connected(), 1);
}

INSTANTIATE_TEST_SUITE_P(Transports, RandomSequences, ::testing::Values(Transport::Serial, Transport::Tcp),
                         [](const ::testing::TestParamInfo<Transport>& p) {
                             return std::string(testsupport::TransportName(p.param));
                         });

}  // namespace
