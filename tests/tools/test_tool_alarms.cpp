// tavrinctl alarms against the simulated unit: the rules of a file raised on
// the unit's values, in text and JSON, under a comma locale too; a bad rules
// file refused with its line or key; an alarm raised and cleared while the
// tool runs, ended by SIGTERM with status 0.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "tool_harness.h"

using namespace tooltest;

namespace {

// Every delay 0, inputs A and B watched.
const char* const kRules = R"({"inputs_fitted": ["A", "B"], "rules": [
  {"alarm": "snr_low", "threshold": 10, "clear_margin": 1, "raise_delay_ms": 0, "clear_delay_ms": 0},
  {"alarm": "level_out_of_range", "low": -85, "high": -20, "raise_delay_ms": 0, "clear_delay_ms": 0},
  {"alarm": "reception_lost", "raise_delay_ms": 0, "clear_delay_ms": 0}]})";

struct AlarmsCase {
    const char* what;
    const char* rules;   // written to rules.json, given as --alarm-rules
    std::vector<std::string> args;
    std::vector<std::string> env;
    int exitCode;
    std::vector<std::string> out;   // each somewhere on standard output
    const char* err;
};

const std::vector<AlarmsCase> kCases = {
    {"text lines, in kind order", kRules, {"--count", "2"}, {}, 0,
     {"  raise  reception_lost (major)  value 3\n", "  raise  snr_low_a (minor)  value 8.5\n",
      "  raise  level_out_of_range_a (warning)  value -10\n"},
     ""},
    {"JSON under a comma locale", kRules, {"--json", "--count", "1"}, {"LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8"}, 0,
     {R"("event":"raise","alarm":"reception_lost","severity":"major","value":3})",
      R"("event":"raise","alarm":"snr_low_a","severity":"minor","value":8.5})"},
     ""},
    {"a bad file names its key", R"({"rules": [{"alarm": "snr_low", "severity": "fatal"}]})", {"--count", "1"}, {}, 1,
     {}, "rules.json: rules[0].severity: unknown severity \"fatal\""},
    {"a bad file names its line", "{\n\"rules\": [\n}", {"--count", "1"}, {}, 1, {}, "rules.json: line 3, column 1"},
};

void SetAlarmingValues(sim::SimUnit& unit) {
    unit.SetValue("1pkt", "000003");
    unit.SetValue("1snr", "8.5");
    unit.SetValue("1mer", "17.0");
    unit.SetValue("1ina", "-10.0");
    unit.SetValue("1inb", "-50.0");
}

TEST(ToolAlarms, RulesOverTheUnitsValues) {
    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started()) << unit.Error();
    SetAlarmingValues(unit.Unit());
    TempFolder folder;
    for (const AlarmsCase& c : kCases) {
        SCOPED_TRACE(c.what);
        WriteFile(folder.File("rules.json"), c.rules);
        const RunResult r = RunTool(
            Concat(unit.SerialArgs(), Concat({"alarms", "--interval", "100", "--alarm-rules", folder.File("rules.json")}, c.args)),
            c.env);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        for (const std::string& piece : c.out) EXPECT_NE(r.out.find(piece), std::string::npos) << piece << " in\n" << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.err.empty(), !*c.err) << r.err;
    }
}

TEST(ToolAlarms, RaisedAndClearedWhileRunning) {
    SimulatedUnit unit;
    ASSERT_TRUE(unit.Started()) << unit.Error();
    SetAlarmingValues(unit.Unit());
    TempFolder folder;
    WriteFile(folder.File("rules.json"), kRules);
    ToolProcess tool(Concat(unit.TcpArgs(), {"alarms", "-j", "--interval", "100", "--alarm-rules", folder.File("rules.json")}));
    const auto seen = [&](const std::string& text) {
        for (int i = 0; i < 1000 && tool.OutSoFar().find(text) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return tool.OutSoFar().find(text) != std::string::npos;
    };
    EXPECT_TRUE(seen(R"("event":"raise","alarm":"snr_low_a")")) << tool.OutSoFar();
    unit.Unit().SetValue("1snr", "11.0");   // 10 and the margin
    EXPECT_TRUE(seen(R"("event":"clear","alarm":"snr_low_a","severity":"minor","value":11})")) << tool.OutSoFar();
    tool.Signal(SIGTERM);
    EXPECT_EQ(tool.Wait().exitCode, 0);
}

}  // namespace
