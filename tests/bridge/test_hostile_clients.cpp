// Clients in numbers against a slow unit: many that hang up right after their
// request, many that send two requests in one write, one that sends more than
// its backlog holds. Every client still connected gets every reply, in the
// order of its requests, and the bridge sleeps while it waits.
#include <gtest/gtest.h>

#include <thread>

#include "bridge/bridge_rig.h"
#include "faults/random_run.h"
#include "link/envelope.h"
#include "link/requests.h"
#include "sim/sim_table.h"
#include "support/frame_text.h"

using namespace bridgetest;

namespace {

struct Crowd {
    const char* what;
    int hangUps;      // clients that send one read and hang up 20 ms later
    int pipeliners;   // then clients that send `reads` reads in one write
    int reads;
};

// The queue holds 64 exchanges: 66 hang-ups fill it while the unit is slow,
// and so do 70 clients with two reads each.
const Crowd kCrowds[] = {
    {"hang-ups, then two reads in one write", 66, 1, 2},
    {"seventy clients with two reads each", 0, 70, 2},
    {"twelve reads in one write, more than the backlog holds", 0, 1, 12},
};

void PrintTo(const Crowd& crowd, std::ostream* out) { *out << crowd.what; }

class HostileCrowd : public ::testing::TestWithParam<Crowd> {};

TEST_P(HostileCrowd, EveryClientLeftGetsItsRepliesInOrderAndTheBridgeSleeps) {
    const Crowd& crowd = GetParam();
    RigOptions options;
    options.oracle = true;
    options.intervalMs = 0;
    options.extraArgs = {"--max-clients", "100", "--idle-timeout", "2"};
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    std::vector<std::string> codes;
    for (const std::string& code : randomrun::TellingCodes())
        if (code != "gser") codes.push_back(code);

    // Everybody connects first; then one slow exchange holds the unit while
    // the crowd sends.
    std::vector<std::unique_ptr<RawClient>> gone, clients;
    for (int i = 0; i < crowd.hangUps; ++i) gone.push_back(std::make_unique<RawClient>(rig.ip));
    for (int i = 0; i < crowd.pipeliners; ++i) clients.push_back(std::make_unique<RawClient>(rig.ip));
    RawClient slow(rig.ip);
    ASSERT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients"), crowd.hangUps + crowd.pipeliners + 1));
    rig.unit->SetFault(sim::Fault::SlowReply, 1, 1000, "gser");
    ASSERT_TRUE(slow.SendFrame(testsupport::Frame("0001rgser;;")));
    std::this_thread::sleep_for(100ms);
    for (auto& c : gone) c->SendFrame(testsupport::Frame(BuildReadRequest(1, codes[0])));
    std::this_thread::sleep_for(20ms);
    gone.clear();
    std::this_thread::sleep_for(50ms);
    const Blowfish cipher = LinkCipher();
    std::vector<std::vector<std::string>> asked(size_t(crowd.pipeliners));
    for (int c = 0; c < crowd.pipeliners; ++c) {
        std::string bytes;
        for (int r = 0; r < crowd.reads; ++r) {
            asked[size_t(c)].push_back(codes[size_t(c + r) % codes.size()]);
            bytes += SealEnvelope(cipher, testsupport::Frame(BuildReadRequest(1, asked[size_t(c)].back())));
        }
        ASSERT_TRUE(clients[size_t(c)]->SendBytes(bytes));
    }

    int served = 0;
    for (int c = 0; c < crowd.pipeliners; ++c) {
        const std::vector<std::string> got = clients[size_t(c)]->Replies(asked[size_t(c)].size(), 10s);
        bool inOrder = got.size() == asked[size_t(c)].size();
        for (size_t r = 0; inOrder && r < got.size(); ++r) inOrder = sim::OracleBelongs(asked[size_t(c)][r], got[r]);
        if (inOrder) ++served;
        else ADD_FAILURE() << "client " << c << " got " << got.size() << " of " << asked[size_t(c)].size();
    }
    EXPECT_EQ(served, crowd.pipeliners);
    // Past the idle time, the clients connected or not, the loop waits in poll().
    std::this_thread::sleep_for(1s);
    const double share = CpuShare(rig.bridge.Pid(), 1500ms);
    EXPECT_LT(share, 0.25) << "the bridge's processor share while nothing can move";
    EXPECT_EQ(rig.bridge.Stop(), 0) << rig.bridge.Err();
}

INSTANTIATE_TEST_SUITE_P(Bridge, HostileCrowd, ::testing::ValuesIn(kCrowds),
                         [](const ::testing::TestParamInfo<Crowd>& p) { return std::to_string(p.index); });

}  // namespace
