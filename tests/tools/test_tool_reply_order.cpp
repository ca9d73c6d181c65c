// tavrinctl against a unit whose replies fall out of step with its requests: a
// unit that repeats each reply and one that answers a request late while the
// tool's next request is already on its way. What the tool prints or saves is
// always the unit's own value for that code, or a failure; never the value of
// the row before.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "tool_harness.h"

using namespace tooltest;

namespace {

// The items of every record of a saved file, "code=raw" in file order.
std::vector<std::string> SavedItems(const std::string& path) {
    const RunResult r = RunTool({"--json", "inspect", path});
    Json doc;
    EXPECT_TRUE(ParseJson(r.out, doc)) << r.out;
    std::vector<std::string> items;
    for (const Json& record : doc["records"].items)
        for (const Json& item : record["items"].items) items.push_back(item["code"].text + "=" + item["raw"].text);
    return items;
}

// Distinct values, so that a value shown for the wrong code is seen at once.
void SetDistinctValues(sim::SimUnit& unit) {
    unit.SetValue("1loc", "1");
    unit.SetValue("1snr", "12.5");
    unit.SetValue("1ina", "-43.5");
}

// `read 1loc 1snr 1ina`: every line the tool prints is the code, the status
// and the unit's own value for that code.
void ExpectOwnValues(const RunResult& r, sim::SimUnit& unit, const std::string& how, int codes = 3) {
    std::istringstream lines(r.out);
    std::string line;
    int shown = 0;
    while (std::getline(lines, line)) {
        const std::string code = line.substr(0, line.find(' '));
        EXPECT_EQ(line, code + " 1 " + unit.Value(code)) << how;
        ++shown;
    }
    if (r.exitCode == 0) {
        EXPECT_EQ(shown, codes) << how << "\n" << r.out;
    }
}

}  // namespace

TEST(ToolReplyOrder, RepeatedRepliesNeverShiftTheValuesRead) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    SetDistinctValues(sim.Unit());
    for (const auto& transport : {sim.SerialArgs(), sim.TcpArgs()}) {
        sim.Unit().SetFault(sim::Fault::ReplyTwice);
        const RunResult r = RunTool(Concat(transport, {"read", "1loc", "1snr", "1ina"}));
        // Every reply comes twice: a copy that cannot be told from a shift,
        // so the run fails, however often it is made, and prints no value.
        EXPECT_EQ(r.exitCode, 1) << transport[0] << "\n" << r.err;
        EXPECT_EQ(r.out, "") << transport[0];
        EXPECT_NE(r.err.find("not asked for"), std::string::npos) << r.err;
        sim.Unit().ClearFault();
    }
}

// Over Ethernet the unit answers one request 2 s late, beyond the 1.5 s
// receive time-out, and the tool's next request follows at once.
TEST(ToolReplyOrder, LateReplyOverEthernetIsNeverTakenForTheNextRequest) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    SetDistinctValues(sim.Unit());
    sim.Unit().SetFault(sim::Fault::SlowReply, 1, 2000, "1loc");
    const RunResult r = RunTool(Concat(sim.TcpArgs(), {"read", "1loc", "1snr", "1ina"}));
    ExpectOwnValues(r, sim.Unit(), "read");
    EXPECT_EQ(sim.Unit().Counters().faultsApplied, 1u);
}

TEST(ToolReplyOrder, SaveWithALateReplyFailsOrHoldsExactlyTheUnitsValues) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    sim.Unit().SetValue("1ipf", "1.75");
    sim.Unit().SetValue("edef", "Late row");

    // What the file holds when every reply comes in time.
    const std::string reference = folder.File("reference.cfg");
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"save-config", reference}), kFastWaits);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> expected = SavedItems(reference);
    ASSERT_GT(expected.size(), 10u);
    // The file's rows are the unit's own values.
    const auto has = [&](const std::string& item) {
        return std::find(expected.begin(), expected.end(), item) != expected.end();
    };
    EXPECT_TRUE(has("1ipf=1.750000")) << "the reference holds the unit's frequency";
    EXPECT_TRUE(has("edef=Late row"));

    // An older file that a failed save must leave as it was.
    const std::string file = folder.File("unit.cfg");
    const std::string old = "an older file\n";
    WriteFile(file, old);
    sim.Unit().ClearRequests();
    sim.Unit().SetFault(sim::Fault::SlowReply, 1, 1600, "1ipf");
    r = RunTool(Concat(sim.TcpArgs(), {"save-config", file}), kFastWaits);
    EXPECT_EQ(sim.Unit().Counters().faultsApplied, 1u) << "the late reply did not happen";
    if (r.exitCode == 0) {
        EXPECT_NE(r.out.find("Configuration saved"), std::string::npos) << r.out;
        EXPECT_EQ(SavedItems(file), expected);
    } else {
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out.find("Configuration saved"), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(file), old);
    }
}

// A unit that sends one reply a second time, as a write of its own, 0 to 50 ms
// later, when the tool's next request has already gone out: without a request
// number the copy is taken as that request's answer and every later exchange
// takes its predecessor's reply. Once (the run is made again and comes out
// right) or on every request for the code (the run fails): never shifted
// values with status 0, never a shifted file.
TEST(ToolReplyOrder, ARepeatAfterTheNextRequestEndsInTheRightValuesOrAFailure) {
    SimulatedUnit sim(false, 1, true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string reference = folder.File("reference.cfg");
    ASSERT_EQ(RunTool(Concat(sim.TcpArgs(), {"save-config", reference}), kFastWaits).exitCode, 0);
    const std::vector<std::string> expected = SavedItems(reference);

    struct Case {
        const char* code;
        uint32_t delayMs;
        int repeats;   // -1: every request for the code
    };
    const Case cases[] = {{"1loc", 0, 1}, {"1snr", 20, 1}, {"1loc", 30, -1}, {"1ipf", 20, 1},
                          {"eser", 40, 1}, {"1dco", 0, -1}, {"1wid", 50, -1}};
    for (const auto& transport : {sim.SerialArgs(), sim.TcpArgs()}) {
        for (const Case& c : cases) {
            const std::string how = transport[0] + " " + c.code + " +" + std::to_string(c.delayMs) + "ms x" +
                                    std::to_string(c.repeats);
            sim.Unit().SetFault(sim::Fault::ReplyTwiceApart, c.repeats, c.delayMs, c.code);
            RunResult r = RunTool(Concat(transport, {"read", "1loc", "1snr", "1ina", "1ipf"}));
            ExpectOwnValues(r, sim.Unit(), how, 4);
            if (r.exitCode != 0) {
                EXPECT_NE(r.err.find("not asked for"), std::string::npos) << how << r.err;
            }

            sim.Unit().SetFault(sim::Fault::ReplyTwiceApart, c.repeats, c.delayMs, c.code);
            const std::string file = folder.File("unit.cfg");
            std::remove(file.c_str());
            const uint64_t faultsBefore = sim.Unit().Counters().faultsApplied;
            r = RunTool(Concat(transport, {"save-config", file}), kFastWaits);
            EXPECT_GT(sim.Unit().Counters().faultsApplied, faultsBefore) << how;
            if (r.exitCode == 0) {
                EXPECT_EQ(SavedItems(file), expected) << how;
            } else {
                EXPECT_FALSE(std::filesystem::exists(file)) << how;
            }
            // Every code of the table is read by a save: a repeat on every
            // request for it cannot be read past; a single one can.
            EXPECT_EQ(r.exitCode == 0, c.repeats == 1) << how << "\n" << r.err;
            sim.Unit().ClearFault();
        }
    }
}
