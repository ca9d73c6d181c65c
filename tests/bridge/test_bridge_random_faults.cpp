// Several clients at once through the bridge (link objects in Ethernet mode,
// each in a thread of its own, and a raw client that sends its requests
// several at a time without waiting) while the simulated unit behind it, on a
// pseudo-terminal or on TCP, meets a random share of the exchanges with a
// fault drawn at random from all it has. The unit's oracle makes every value
// name the code it was read from, and every client reads codes of its own, so
// after every exchange:
//   - an accepted reply is the one to the client's own request (never the
//     reply to another client, to the poll cycle or to an earlier request);
//     the raw client's replies come in the order of its requests, none twice;
//   - a failed exchange is what a client of a silent unit sees: no reply
//     (the bridge forwards nothing it has not accepted);
//   - no exchange runs past three times the client link's bound;
// and once the faults stop every client reaches the unit again, the bridge is
// still running and its metrics still answer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "bridge/bridge_rig.h"
#include "faults/random_run.h"
#include "link/envelope.h"
#include "link/frame.h"
#include "link/requests.h"
#include "link/result_codes.h"
#include "platform/debug_out.h"
#include "sim/sim_table.h"
#include "support/sim_rig.h"

using namespace bridgetest;
using std::chrono::milliseconds;
using testsupport::Transport;

namespace {

constexpr int kClients = 3;                   // link clients; the raw client reads codes of its own too
constexpr int kCodeSets = kClients + 1;
constexpr int kPipelined = 4;                 // requests the raw client sends at once
constexpr uint64_t kDefaultExchanges = 600;   // all clients together
constexpr uint32_t kRestartMs = 300;
constexpr uint32_t kPollIntervalMs = 500;     // the bridge's own poll cycle joins the queue
constexpr uint32_t kMaxFaultMs = 1000;
// A client's exchange is one attempt on its socket: the receive time-out.
constexpr milliseconds kClientBound{kSocketReceiveTimeoutMs};
constexpr milliseconds kLimit = 3 * kClientBound;
constexpr int kReported = 5;                  // failures printed per kind and client

// A silent serial unit costs the bridge three attempts of its serial
// time-out, a silent TCP unit one receive time-out: the serial run draws
// fewer faults to stay short.
double FaultShare(Transport unit) { return unit == Transport::Serial ? 0.012 : 0.03; }

// The codes of client `client`: every kCodeSets-th code whose oracle values
// name it, so that no two clients read the same code and a reply that went to
// the wrong client is told by its value.
std::vector<std::string> CodesOfClient(int client) {
    const std::vector<std::string> all = randomrun::TellingCodes();
    std::vector<std::string> mine;
    for (size_t i = size_t(client); i < all.size(); i += kCodeSets) mine.push_back(all[i]);
    return mine;
}

// What a client of the bridge may see when its exchange fails: the bridge
// sends nothing for a failed exchange, so the receive times out (or the
// connection is gone or cannot be made). A broken reply would mean the bridge
// forwarded what it should have refused.
bool SpecifiedFailure(ResultCode rc) { return rc == kErrRead || rc == kErrWrite || rc == kErrNoConnection; }

struct Outcome {
    ResultCode rc = kResultOk;
    int status = 0;
    std::string data;
    milliseconds elapsed{0};
};

// One read through the client's own link object. The clients' links are
// independent of each other, so they do not share the process-wide link lock:
// their requests meet at the bridge at the same time.
Outcome Read(LinkClient& client, const std::string& code) {
    char data[kReceiveBufferSize + 1] = {};
    int length = 0;
    Outcome out;
    const auto start = std::chrono::steady_clock::now();
    out.rc = client.link.Transact(BuildReadRequest(1, code).c_str(), &out.status, data, &length, 1);
    out.elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
    if (out.rc == kResultOk) out.data.assign(data, size_t(length < 0 ? 0 : length));
    return out;
}

// What one client saw; the first few faults of each kind are described.
struct Tally {
    int accepted = 0;
    int mismatches = 0;
    int unspecified = 0;
    int overran = 0;
    std::map<ResultCode, int> failures;
    std::vector<std::string> notes;

    void Check(int client, uint64_t i, const std::string& code, const Outcome& x) {
        char where[96];
        std::snprintf(where, sizeof where, "client %d, exchange %llu (%s)", client, static_cast<unsigned long long>(i),
                      code.c_str());
        if (x.elapsed > kLimit && ++overran <= kReported)
            notes.push_back(std::string(where) + " took " + std::to_string(x.elapsed.count()) + " ms, bound " +
                            std::to_string(kLimit.count()) + " ms");
        if (x.rc == kResultOk) {
            ++accepted;
            if ((x.status != '1' || !sim::OracleBelongs(code, x.data)) && ++mismatches <= kReported)
                notes.push_back(std::string(where) + " was answered with status " + char(x.status) + " \"" + x.data +
                                "\"");
            return;
        }
        ++failures[x.rc];
        char rc[16];
        std::snprintf(rc, sizeof rc, "%x", x.rc);
        if (!SpecifiedFailure(x.rc) && ++unspecified <= kReported)
            notes.push_back(std::string(where) + " failed with " + rc);
    }
};

// A client on a raw socket that sends kPipelined reads at once and takes the
// replies as they come. The bridge answers a client's requests one after the
// other in the order they came and sends nothing for a failed one, so the
// replies must be a subsequence of the requests: each reply belongs to a
// request later than the one the reply before it answered.
class PipelineClient {
public:
    PipelineClient(const std::string& ip, const std::vector<std::string>& codes)
        : raw_(ip), cipher_(LinkCipher()), codes_(codes) {}

    // Sends one batch and takes replies until they stop coming for a client's
    // time-out (replies of earlier batches may still come).
    void Batch(std::mt19937& pick) {
        std::string bytes;
        for (int i = 0; i < kPipelined; ++i) {
            const std::string& code = codes_[std::uniform_int_distribution<size_t>(0, codes_.size() - 1)(pick)];
            std::string frame;
            BuildRequestFrame(BuildReadRequest(1, code), frame);
            bytes += SealEnvelope(cipher_, frame);
            requests_.push_back(code);
        }
        if (!raw_.SendBytes(bytes)) Note("the bridge closed the connection");
        while (answered < int(requests_.size()) && Take(kClientBound)) {
        }
    }
    // Takes replies until all requests are answered or none has come for `quiet`.
    void Drain(milliseconds quiet) {
        while (answered < Sent() && Take(quiet)) {
        }
    }

    int Sent() const { return int(requests_.size()); }
    int answered = 0;
    int mismatches = 0;
    std::vector<std::string> notes;

private:
    void Note(const std::string& what) {
        if (++mismatches <= kReported) notes.push_back("raw client: " + what);
    }
    // False when nothing came within `limit`.
    bool Take(milliseconds limit) {
        const std::string got = raw_.Receive(limit);
        if (got.empty()) return false;
        pending_ += got;
        for (;;) {
            const EnvelopeTake take = TakeEnvelope(cipher_, pending_);
            if (take.read == EnvelopeRead::NeedMore) break;
            if (take.read == EnvelopeRead::Bad) {
                // Nothing tells where the next envelope starts: drop one block.
                pending_.erase(0, 8);
                Note("an envelope that is none");
                continue;
            }
            pending_.erase(0, take.used);
            Match(take.frame);
        }
        return true;
    }
    void Match(const std::string& frame) {
        std::string kept;
        ParsedReply reply;
        if (AcceptReply(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), kept, reply) != kResultOk) {
            Note("a broken reply");
            return;
        }
        for (size_t i = next_; i < requests_.size(); ++i) {
            if (reply.status == '1' && sim::OracleBelongs(requests_[i], reply.data)) {
                next_ = i + 1;
                ++answered;
                return;
            }
        }
        Note("reply \"" + reply.data + "\" answers none of its requests from number " + std::to_string(next_) +
             " on");
    }

    RawClient raw_;
    Blowfish cipher_;
    const std::vector<std::string>& codes_;
    std::vector<std::string> requests_;   // codes, in the order sent
    size_t next_ = 0;                     // the first request not yet answered or passed over
    std::string pending_;
};

// The client links' diagnostic lines (a dropped connection after every
// failed exchange) are kept off the test's output.
struct QuietLinks {
    QuietLinks() { SetDebugSink([](const std::string&) {}); }
    ~QuietLinks() { SetDebugSink(nullptr); }
};

bool StillRunning(const Process& process) {
    int status = 0;
    return process.Pid() > 0 && ::waitpid(process.Pid(), &status, WNOHANG) == 0;
}

class BridgeRandomFaults : public ::testing::TestWithParam<Transport> {};

TEST_P(BridgeRandomFaults, EveryClientGetsItsOwnReplyOrNoneAndAllRecover) {
    const uint32_t seed = randomrun::Seed();
    const uint64_t total = randomrun::EnvNumber("TAVRIN_FAULT_EXCHANGES", kDefaultExchanges);
    const uint64_t perClient = std::max<uint64_t>(1, total / kClients);
    SCOPED_TRACE(randomrun::Replay(seed));
    std::printf("random faults through the bridge: %s, %d clients of %llu exchanges\n",
                randomrun::Replay(seed).c_str(), kClients, static_cast<unsigned long long>(perClient));

    RigOptions options;
    options.unitOverTcp = GetParam() == Transport::Tcp;
    options.oracle = true;
    options.seed = seed;
    options.restartMs = kRestartMs;
    options.intervalMs = kPollIntervalMs;
    const QuietLinks quiet;
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    const double share = FaultShare(GetParam());
    rig.unit->SetRandomFaults(share, kMaxFaultMs);

    std::vector<std::vector<std::string>> codes;
    for (int c = 0; c < kCodeSets; ++c) {
        codes.push_back(CodesOfClient(c));
        ASSERT_GE(codes.back().size(), size_t(kPipelined));
    }
    std::vector<Tally> tallies(kClients);
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            LinkClient client(rig.ip);
            std::mt19937 pick(seed + uint32_t(c));
            const std::vector<std::string>& mine = codes[size_t(c)];
            for (uint64_t i = 0; i < perClient; ++i) {
                const std::string& code = mine[std::uniform_int_distribution<size_t>(0, mine.size() - 1)(pick)];
                tallies[size_t(c)].Check(c, i, code, Read(client, code));
            }
        });
    }
    // The raw client sends its batches for as long as the link clients run;
    // beside it, clients come, send one or two reads at once and hang up
    // within 30 ms, mostly in the middle of their exchange.
    std::atomic<int> running{kClients};
    PipelineClient pipeline(rig.ip, codes[kClients]);
    std::thread pipelineThread([&] {
        std::mt19937 pick(seed + uint32_t(kClients));
        while (running > 0) pipeline.Batch(pick);
    });
    std::atomic<int> hungUp{0};
    std::thread hangUpThread([&] {
        std::mt19937 pick(seed + uint32_t(kClients) + 1);
        const Blowfish cipher = LinkCipher();
        while (running > 0) {
            RawClient gone(rig.ip);
            std::string bytes;
            for (int i = std::uniform_int_distribution<int>(1, 2)(pick); i > 0; --i) {
                std::string frame;
                BuildRequestFrame(BuildReadRequest(1, codes[0][0]), frame);
                bytes += SealEnvelope(cipher, frame);
            }
            gone.SendBytes(bytes);
            std::this_thread::sleep_for(milliseconds(std::uniform_int_distribution<int>(0, 30)(pick)));
            gone.Close();
            ++hungUp;
            std::this_thread::sleep_for(milliseconds(150));
        }
    });
    for (std::thread& t : threads) {
        t.join();
        --running;
    }
    pipelineThread.join();
    hangUpThread.join();

    const uint64_t drawn = rig.unit->Counters().randomFaults;
    int accepted = 0;
    for (int c = 0; c < kClients; ++c) {
        const Tally& t = tallies[size_t(c)];
        accepted += t.accepted;
        std::printf("  client %d: accepted %d of %llu", c, t.accepted, static_cast<unsigned long long>(perClient));
        for (const auto& [rc, n] : t.failures) std::printf(", result %x: %d", rc, n);
        std::printf("\n");
        for (const std::string& note : t.notes) ADD_FAILURE() << note;
        EXPECT_EQ(t.mismatches, 0) << "client " << c << ": replies that were not its own";
        EXPECT_EQ(t.unspecified, 0) << "client " << c;
        EXPECT_EQ(t.overran, 0) << "client " << c;
    }
    std::printf("  faults drawn by the unit %llu, clients that hung up %d\n", static_cast<unsigned long long>(drawn),
                hungUp.load());
    EXPECT_GT(drawn, 0u) << "the unit drew no faults";
    EXPECT_GT(uint64_t(accepted), perClient * kClients / 2);
    // What is still on its way to the raw client comes once the faults stop.
    rig.unit->SetRandomFaults(0.0, 0);
    pipeline.Drain(2 * kLimit);
    std::printf("  raw client: %d of %d answered\n", pipeline.answered, pipeline.Sent());
    for (const std::string& note : pipeline.notes) ADD_FAILURE() << note;
    EXPECT_EQ(pipeline.mismatches, 0);
    EXPECT_GT(pipeline.answered, pipeline.Sent() / 2);

    // The faults have stopped: once the unit is back from any restart, every
    // client reaches it within a few exchanges and then every read is its own.
    for (int i = 0; i < 200 && rig.unit->IsRestarting(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(rig.unit->IsRestarting());
    std::vector<std::string> recovery(kClients);
    threads.clear();
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            LinkClient client(rig.ip);
            const std::vector<std::string>& mine = codes[size_t(c)];
            int tries = 0;
            Outcome first;
            while (tries < 3 && (first = Read(client, mine[0])).rc != kResultOk) ++tries;
            if (first.rc != kResultOk) {
                recovery[size_t(c)] = "no accepted reply in 3 exchanges after the faults stopped";
                return;
            }
            for (int i = 0; i < 40; ++i) {
                const std::string& code = mine[size_t(i) % mine.size()];
                const Outcome x = Read(client, code);
                if (x.rc != kResultOk || !sim::OracleBelongs(code, x.data)) {
                    char rc[16];
                    std::snprintf(rc, sizeof rc, "%x", x.rc);
                    recovery[size_t(c)] = "clean exchange " + std::to_string(i) + " (" + code + "): result " + rc +
                                          " \"" + x.data + "\"";
                    return;
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (int c = 0; c < kClients; ++c) EXPECT_EQ(recovery[size_t(c)], "") << "client " << c;

    EXPECT_TRUE(StillRunning(rig.bridge)) << rig.bridge.Err();
    // Only the raw client is still connected, and the bridge waits in poll().
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients"), 1));
    EXPECT_LT(CpuShare(rig.bridge.Pid(), milliseconds(1000)), 0.25) << "the bridge's processor share at rest";
    EXPECT_TRUE(rig.Metrics().has_value()) << "the bridge's metrics no longer answer";
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 1)) << "the poll cycle did not reach the unit again";
    EXPECT_EQ(rig.bridge.Stop(), 0) << rig.bridge.Err();
}

INSTANTIATE_TEST_SUITE_P(UnitOn, BridgeRandomFaults, ::testing::Values(Transport::Serial, Transport::Tcp),
                         [](const ::testing::TestParamInfo<Transport>& p) {
                             return std::string(testsupport::TransportName(p.param));
                         });

}  // namespace
