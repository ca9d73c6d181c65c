// Whole operations under random faults: saving and loading a configuration
// file and a configuration set while the unit meets random faults, and now
// and then stops answering half way through. Each operation ends either
// complete and correct (the file or the unit holds what a fault-free run
// gives) or failed, with the operator told and the earlier file untouched.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "faults/random_run.h"
#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "support/session_rig.h"

namespace {

using testcfg::UnitRig;

// Where two file images part, for a message that stays readable.
std::string FirstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    if (i == a.size() && i == b.size()) return "same";
    auto near = [&](const std::string& s) {
        std::string out;
        for (size_t k = i; k < s.size() && k < i + 24; ++k)
            out += (s[k] >= 0x20 && s[k] < 0x7F) ? s[k] : '.';
        return out;
    };
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at " +
           std::to_string(i) + ": \"" + near(a) + "\" / \"" + near(b) + "\"";
}

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

// What the unit holds, saved with no faults.
std::string CleanSave(UnitRig& rig, bool set, const std::string& path) {
    rig.unit->SetRandomFaults(0.0, 0);
    rig.unit->SetSilentAfter(-1);
    EXPECT_TRUE(set ? SaveConfigSet(*rig.session, path) : SaveConfigToFile(*rig.session, path));
    return ReadBytes(path);
}

class RandomOperations : public ::testing::TestWithParam<testsupport::Transport> {};

// Runs only when TAVRIN_FAULT_OPERATIONS names the number of operations: a
// run takes minutes, and open findings (a set load reported complete that
// left the unit's slots different from the file) are still being looked into.
TEST_P(RandomOperations, EndCompleteAndCorrectOrFailedWithTheOldFileUntouched) {
    const uint64_t operations = randomrun::EnvNumber("TAVRIN_FAULT_OPERATIONS", 0);
    if (operations == 0) GTEST_SKIP() << "set TAVRIN_FAULT_OPERATIONS=N to run N operations";
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
    UnitRig rig(false, GetParam(), true);
    ASSERT_TRUE(rig.started);
    rig.link->readTotalTimeoutConstant = 150;
    rig.Connect();
    const std::string path = rig.folder.File("unit.cfg");
    const std::string other = rig.folder.File("other.cfg");
    const std::string check = rig.folder.File("check.cfg");
    const std::string oracleConfig = CleanSave(rig, false, other);
    const std::string oracleSet = CleanSave(rig, true, other);
    ASSERT_NE(oracleSet, factorySet);

    std::mt19937 draw(seed);
    int completed = 0, failed = 0;
    for (uint64_t i = 0; i < operations; ++i) {
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
        rig.unit->SetRandomFaults(0.002 * std::uniform_int_distribution<int>(1, 5)(draw), 200);
        // Now and then the unit stops answering half way through.
        if (std::uniform_int_distribution<int>(0, 3)(draw) == 0)
            rig.unit->SetSilentAfter(std::uniform_int_distribution<int64_t>(0, 300)(draw));
        const bool ok = RunOperation(rig, op, path);
        rig.unit->SetRandomFaults(0.0, 0);
        rig.unit->SetSilentAfter(-1);
        const std::string after = ReadBytes(path);
        if (!ok) {
            ++failed;
            EXPECT_TRUE(after == before) << "a failed operation changed the file: " << FirstDifference(after, before);
            EXPECT_FALSE(rig.view.messages.empty()) << "a failed operation told the operator nothing";
            // The link reaches the unit again for the next operation.
            rig.session->ReadUnitConfig(true);
            continue;
        }
        ++completed;
        if (op == Op::SaveConfig || op == Op::SaveSet) {
            EXPECT_TRUE(DescribeConfigFile(after).checksumOk);
            const std::string clean = CleanSave(rig, IsSet(op), check);
            EXPECT_TRUE(after == clean) << "a save reported complete differs from the unit: " << FirstDifference(after, clean);
        } else {
            EXPECT_TRUE(after == before) << "a load changed its file";
            const std::string clean = CleanSave(rig, IsSet(op), check);
            EXPECT_TRUE(clean == before) << "a load reported complete left the unit different: " << FirstDifference(clean, before);
        }
    }
    std::printf("  completed %d, failed %d, faults drawn %llu\n", completed, failed,
                static_cast<unsigned long long>(rig.unit->Counters().randomFaults));
    EXPECT_GT(rig.unit->Counters().randomFaults, 0u);
}

INSTANTIATE_TEST_SUITE_P(Transports, RandomOperations,
                         ::testing::Values(testsupport::Transport::Serial, testsupport::Transport::Tcp),
                         [](const ::testing::TestParamInfo<testsupport::Transport>& p) {
                             return std::string(testsupport::TransportName(p.param));
                         });

}  // namespace
