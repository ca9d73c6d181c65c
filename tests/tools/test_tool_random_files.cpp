// tavrinctl's file commands while the unit meets random faults: every run
// ends with exit status 0, its success line and a file (or unit) that holds
// what a run with no fault gives, or with exit status 1, a reason on standard
// error, no success line and the earlier file as it was. TAVRIN_SEED replays
// a run; TAVRIN_FAULT_OPERATIONS sets the number of runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <unistd.h>

#include "faults/random_run.h"
#include "support/config_records.h"
#include "tool_harness.h"

using namespace tooltest;

namespace {

struct Command {
    const char* name;
    bool set;
    bool save;
    const char* success;   // its line on standard output
};
constexpr Command kCommands[] = {
    {"save-config", false, true, "Configuration saved to "},
    {"load-config", false, false, "Configuration loaded from "},
    {"save-set", true, true, "Config set saved"},
    {"load-set", true, false, "Config set loaded"},
};

// Returns once a restart the unit met is over (a run may end while one is on).
void WaitUntilBack(SimulatedUnit& sim) {
    for (int tries = 0; tries < 2000 && sim.Unit().IsRestarting(); ++tries) usleep(5000);
}

// What the unit holds, saved by the tool with no fault.
std::string CleanSave(SimulatedUnit& sim, bool set, const std::string& path) {
    sim.Unit().SetRandomFaults(0.0, 0);
    WaitUntilBack(sim);
    const RunResult r = RunTool(Concat(sim.TcpArgs(), {set ? "save-set" : "save-config", path}), kFastWaits);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadFile(path);
}

TEST(ToolRandomFiles, EveryRunEndsCompleteAndCorrectOrFailedWithExitStatusOneAndTheOldFile) {
    const uint32_t seed = randomrun::Seed();
    const uint64_t runs = randomrun::EnvNumber("TAVRIN_FAULT_OPERATIONS", 6);
    SCOPED_TRACE(randomrun::Replay(seed));
    std::printf("random fault runs of tavrinctl: %s, %llu runs\n", randomrun::Replay(seed).c_str(),
                static_cast<unsigned long long>(runs));
    TempFolder folder;
    // Files of another unit (the factory's values), to load.
    std::string factory[2];
    {
        SimulatedUnit other;
        ASSERT_TRUE(other.Started()) << other.Error();
        factory[0] = CleanSave(other, false, folder.File("factory.cfg"));
        factory[1] = CleanSave(other, true, folder.File("factory-set.cfg"));
    }
    SimulatedUnit sim(false, 1, true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    const std::string own[2] = {CleanSave(sim, false, folder.File("own.cfg")), CleanSave(sim, true, folder.File("own-set.cfg"))};
    ASSERT_NE(testsupport::RecordDifference(own[0], factory[0], false), "same");

    std::mt19937 draw(seed);
    const std::string path = folder.File("unit.cfg");
    int completed = 0, failed = 0;
    for (uint64_t i = 0; i < runs; ++i) {
        const Command& c = kCommands[std::uniform_int_distribution<int>(0, 3)(draw)];
        SCOPED_TRACE(std::string("run ") + std::to_string(i) + ": " + c.name);
        const std::string before = std::uniform_int_distribution<int>(0, 1)(draw) ? factory[c.set] : own[c.set];
        WriteFile(path, before);
        // About one fault a run: a set walks every slot of both modes.
        sim.Unit().SetRandomFaults(0.004 * std::uniform_int_distribution<int>(1, 4)(draw) / (c.set ? 8 : 1), 200);
        const RunResult r = RunTool(Concat(sim.TcpArgs(), {c.name, path}), kFastWaits);
        sim.Unit().SetRandomFaults(0.0, 0);
        const std::string after = ReadFile(path);
        std::printf("  %llu %s: exit %d %s", static_cast<unsigned long long>(i), c.name, r.exitCode,
                    r.exitCode == 0 ? r.out.c_str() : r.err.c_str());
        ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.err;
        if (r.exitCode == 1) {
            ++failed;
            EXPECT_FALSE(r.err.empty()) << "a failed run gave no reason";
            EXPECT_EQ(r.out.find(c.success), std::string::npos) << "a failed run said: " << r.out;
            EXPECT_TRUE(after == before) << "a failed run changed the file";
            // The operator tries again once a unit that restarted is back.
            WaitUntilBack(sim);
            continue;
        }
        ++completed;
        EXPECT_NE(r.out.find(c.success), std::string::npos) << r.out;
        const std::string clean = CleanSave(sim, c.set, folder.File("check.cfg"));
        if (c.save) {
            EXPECT_EQ(testsupport::RecordDifference(after, clean, c.set), "same")
                << "a save that ended with exit status 0 differs from the unit";
        } else {
            EXPECT_TRUE(after == before) << "a load changed its file";
            EXPECT_EQ(testsupport::RecordDifference(clean, before, c.set), "same")
                << "a load that ended with exit status 0 left the unit different";
        }
    }
    std::printf("  completed %d, failed %d, faults drawn %llu\n", completed, failed,
                static_cast<unsigned long long>(sim.Unit().Counters().randomFaults));
    if (HasFailure()) std::printf("  failed: %s\n", randomrun::Replay(seed).c_str());
}

}  // namespace
