// Whole operations under random faults: saving and loading a configuration
// file and a configuration set while the unit meets random faults, and now
// and then stops answering half way through. Each operation ends either
// complete and correct (the file or the unit holds what a fault-free run
// gives) or failed, with the operator told and the earlier file untouched.
// TAVRIN_FAULT_OPERATIONS sets the number of operations and TAVRIN_SEED
// replays a run.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "faults/random_run.h"
#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "support/config_records.h"
#include "support/session_rig.h"

namespace {

using testcfg::UnitRig;
using testsupport::RecordDifference;

constexpr uint32_t kSerialRestartMs = 50;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

enum class Op { SaveConfig, LoadConfig, SaveSet, LoadSet };
const char* OpName(Op op) {
    switch (op) {
        case Op::SaveConfig: return "save config";
        case Op::LoadConfig: return "load config";
        case Op::SaveSet: return "save set";
        case Op::LoadSet: return "load set";
    }
    return "?";
}

bool RunOperation(UnitRig& rig, Op op, const std::string& path) {
    switch (op) {
        case Op::SaveConfig: return SaveConfigToFile(*rig.session, path);
        case Op::LoadConfig: return LoadConfigFromFile(*rig.session, path);
        case Op::SaveSet: return SaveConfigSet(*rig.session, path);
        case Op::LoadSet: return LoadConfigSet(*rig.session, path);
    }
    return false;
}

bool IsSet(Op op) { return op == Op::SaveSet || op == Op::LoadSet; }

// Returns once a restart the unit met is over. (Not by a trial connection:
// the unit serves one TCP client, the newest, and would drop the link's.)
void WaitUntilBack(UnitRig& rig) {
    for (int tries = 0; tries < 2000 && rig.unit->IsRestarting(); ++tries) usleep(5000);
    EXPECT_FALSE(rig.unit->IsRestarting()) << "the simulated unit did not come back";
}

// What the unit holds, saved with no faults. A configuration save stores
// the values of the last read, which may have met a fault: read them again.
std::string CleanSave(UnitRig& rig, bool set, const std::string& path) {
    rig.unit->SetRandomFaults(0.0, 0);
    rig.unit->SetSilentAfter(-1);
    // An operation may end complete while a restart it met is still going
    // on, or a fault of its last exchange (a flood, up to the longest delay
    // of 200 ms) is still on its way.
    WaitUntilBack(rig);
    usleep(250000);
    if (!set) {
        rig.session->ReadUnitConfig(true);
        EXPECT_EQ(rig.session->unansweredRows, 0) << "a read with no fault left rows unanswered";
    }
    EXPECT_TRUE(set ? SaveConfigSet(*rig.session, path) : SaveConfigToFile(*rig.session, path));
    return ReadBytes(path);
}

class RandomOperations : public ::testing::TestWithParam<testsupport::Transport> {};

// Six operations a transport by default (about 10 to 30 s); TAVRIN_FAULT_OPERATIONS=N
// runs N, and TAVRIN_SEED replays a run exactly (the operations drawn and
// the unit's faults).
TEST_P(RandomOperations, EndCompleteAndCorrectOrFailedWithTheOldFileUntouched) {
    const uint64_t operations = randomrun::EnvNumber("TAVRIN_FAULT_OPERATIONS", 6);
    const uint32_t seed = randomrun::Seed();
    SCOPED_TRACE(randomrun::Replay(seed));
    std::printf("random fault operations: %s, %llu operations\n", randomrun::Replay(seed).c_str(),
                static_cast<unsigned long long>(operations));

    // Two sets of values to load: the factory's, and the oracle's own.
    std::string factoryConfig, factorySet;
    {
        UnitRig factory(false, GetParam(), false);
        ASSERT_TRUE(factory.started);
        factory.Connect();
        factoryConfig = CleanSave(factory, false, factory.folder.File("f.cfg"));
        factorySet = CleanSave(factory, true, factory.folder.File("f-set.cfg"));
    }
    // The unit draws its faults from the run's seed and, on the serial line
    // too, is away a while after a restart: the link's fixed waits are
    // scaled down to 1/100 (70 ms after a restart, 10 ms after a slot load)
    // but really waited, so a restart the link does not wait for is seen.
    UnitRig rig(false, GetParam(), true, seed, kSerialRestartMs);
    ASSERT_TRUE(rig.started);
    const bool tcp = GetParam() == testsupport::Transport::Tcp;
    SetWaiter([&rig, tcp](uint32_t ms) {
        rig.waits.push_back(ms);
        usleep(useconds_t(ms) * 10);
        if (ms == 7000 && tcp) rig.WaitForListener();
    });
    // Short serial time-outs (the line's own, not only the link's fields): a
    // unit that stopped costs a read little.
    if (!tcp) {
        ASSERT_EQ(rig.link->SetCommTimeout(2, 150), kResultOk);
        ASSERT_EQ(rig.link->SetCommTimeout(0, 50), kResultOk);
    }
    rig.Connect();
    const std::string path = rig.folder.File("unit.cfg");
    const std::string other = rig.folder.File("other.cfg");
    const std::string check = rig.folder.File("check.cfg");
    const std::string oracleConfig = CleanSave(rig, false, other);
    const std::string oracleSet = CleanSave(rig, true, other);
    ASSERT_NE(RecordDifference(oracleSet, factorySet, true), "same");

    std::mt19937 draw(seed);
    int completed = 0, failed = 0;
    // Faults met: drawn at random, or the silence of a unit that stopped.
    auto met = [&rig] { return rig.unit->Counters().randomFaults + rig.unit->Counters().faultsApplied; };
    // A short run goes on (up to four times its length) until it met a fault.
    for (uint64_t i = 0; i < operations || (met() == 0 && i < 4 * operations); ++i) {
        const Op op = Op(std::uniform_int_distribution<int>(0, 3)(draw));
        SCOPED_TRACE(std::string("operation ") + std::to_string(i) + ": " + OpName(op));
        // The file the operation meets: an earlier save, or the one to load.
        const bool useFactory = std::uniform_int_distribution<int>(0, 1)(draw) == 1;
        const std::string before = IsSet(op) ? (useFactory ? factorySet : oracleSet)
                                             : (useFactory ? factoryConfig : oracleConfig);
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << before;
        }
        rig.view.messages.clear();
        // About one fault an operation: a set walks every slot, sixteen times
        // the exchanges of a configuration.
        const double rate = 0.002 * std::uniform_int_distribution<int>(1, 5)(draw) / (IsSet(op) ? 8 : 1);
        rig.unit->SetRandomFaults(rate, 200);
        // Now and then the unit stops answering half way through.
        if (std::uniform_int_distribution<int>(0, 3)(draw) == 0)
            rig.unit->SetSilentAfter(std::uniform_int_distribution<int64_t>(0, 300)(draw));
        const uint64_t began = TickMs();
        const bool ok = RunOperation(rig, op, path);
        rig.unit->SetRandomFaults(0.0, 0);
        rig.unit->SetSilentAfter(-1);
        const std::string after = ReadBytes(path);
        std::printf("  %llu %s (%llu ms): %s\n", static_cast<unsigned long long>(i), OpName(op),
                    static_cast<unsigned long long>(TickMs() - began),
                    ok ? "complete" : rig.view.messages.empty() ? "failed, no message" : rig.view.messages.back().text.c_str());
        if (!ok) {
            ++failed;
            for (const auto& m : rig.view.messages) {
                EXPECT_EQ(m.text.find("Config set "), std::string::npos) << "a failed operation said: " << m.text;
            }
            EXPECT_TRUE(after == before) << "a failed operation changed the file";
            ASSERT_FALSE(rig.view.messages.empty()) << "a failed operation told the operator nothing";
            EXPECT_EQ(rig.view.messages.back().caption, "Error");
            // Once the unit is back (a restart it met takes a while) and a
            // fault still on its way is over (a flood lasts up to the longest
            // delay, 200 ms), the link reaches it again.
            WaitUntilBack(rig);
            bool back = false;
            for (int attempt = 0; attempt < 3 && !back; ++attempt) {
                if (attempt > 0) usleep(250000);
                rig.view.messages.clear();
                back = rig.session->ReadUnitConfig(true);
            }
            EXPECT_TRUE(back) << "the link did not reach the unit again: "
                              << (rig.view.messages.empty() ? std::string("no message") : rig.view.messages.back().text);
            continue;
        }
        ++completed;
        const std::string clean = CleanSave(rig, IsSet(op), check);
        if (op == Op::SaveConfig || op == Op::SaveSet) {
            EXPECT_TRUE(DescribeConfigFile(after).checksumOk);
            EXPECT_EQ(RecordDifference(after, clean, IsSet(op)), "same") << "a save reported complete differs from the unit";
        } else {
            EXPECT_TRUE(after == before) << "a load changed its file";
            EXPECT_EQ(RecordDifference(clean, before, IsSet(op)), "same")
                << "a load reported complete left the unit different";
        }
    }
    std::printf("  completed %d, failed %d, faults drawn %llu, met %llu\n", completed, failed,
                static_cast<unsigned long long>(rig.unit->Counters().randomFaults),
                static_cast<unsigned long long>(met()));
    EXPECT_GT(met(), 0u);
    if (HasFailure()) std::printf("  failed: %s\n", randomrun::Replay(seed).c_str());
    SetWaiter(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Transports, RandomOperations,
                         ::testing::Values(testsupport::Transport::Serial, testsupport::Transport::Tcp),
                         [](const ::testing::TestParamInfo<testsupport::Transport>& p) {
                             return std::string(testsupport::TransportName(p.param));
                         });

}  // namespace
