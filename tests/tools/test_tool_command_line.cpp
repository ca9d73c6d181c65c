// tavrinctl's command line as the parser takes it: short options, --version,
// the exit status of a bad command line, words that start with '-', and the
// bytes of the JSON documents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frame.h"
#include "tool_harness.h"
#include "support/frame_text.h"

using namespace tooltest;

namespace {

using testsupport::Frame;

std::string Joined(const std::vector<std::string>& args) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    return line;
}

}  // namespace

TEST(ToolCommandLine, ShortOptionsDoWhatTheLongOnesDo) {
    SimulatedUnit sim(false, 7);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string log = folder.File("short.log");

    RunResult r = RunTool({"-i", sim.Ip(), "--no-probe", "-a", "7", "-l", log, "read", "gudm"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(sim.Unit().Requests().size(), 1u);
    EXPECT_EQ(sim.Unit().Requests()[0], Frame("0007rgudm;;"));
    EXPECT_NE(ReadFile(log).find("rgudm"), std::string::npos);

    r = RunTool({"-s", sim.PtyPath(), "-b", "9600", "probe"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "7\n");

    r = RunTool({"-c", "1", "--program-folder", sim.ProgramFolder(), "status", "-j"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Json doc;
    ASSERT_TRUE(ParseJson(r.out, doc)) << r.out;
    EXPECT_TRUE(doc["connected"].boolean);
    EXPECT_EQ(doc["lamps"].type, Json::Object);

    r = RunTool({"-h"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, RunTool({"--help"}).out);
    EXPECT_NE(r.out.find("-j, --json"), std::string::npos) << r.out;
}

TEST(ToolCommandLine, VersionIsTheProjectVersion) {
    for (const char* option : {"--version", "-V"}) {
        const RunResult r = RunTool({option});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, std::string("tavrinctl ") + TAVRIN_VERSION + "\n");
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
}

TEST(ToolCommandLine, EveryBadCommandLineExitsTwoWithItsReason) {
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {{"--ip", "127.0.0.1", "--baud"}, "--baud needs a value"},
        {{"--program-folder"}, "--program-folder needs a value"},
        {{"-i"}, "--ip needs a value"},
        {{"--json=1", "inspect", "x"}, "unknown option '--json'"},
        {{"--ip", "127.0.0.1", "status", "--bogus=3"}, "unknown option '--bogus'"},
        {{"--ip", "127.0.0.1", "-x", "probe"}, "unknown command '-x'"},
        {{"--ip", "127.0.0.1", "--", "--bogus"}, "unknown command '--bogus'"},
        {{"--ip", "127.0.0.1", "frobnicate", "read", "1loc"}, "unknown command 'frobnicate'"},
        {{"--ip", "127.0.0.1", "probe", "extra"}, "wrong number of arguments for probe"},
        {{"--ip", "127.0.0.1", "save-config", "probe", "x"}, "wrong number of arguments for save-config"},
        {{"--ip", "127.0.0.1", "write", "edef", "-3", "-4"}, "wrong number of arguments for write"},
        {{"--ip", "1.2.3.4", "--com", "300", "probe"}, "give only one of --serial, --com and --ip"},
        {{"--com", "0", "--baud"}, "--com takes a port number from 1 to 256"},
        {{"--ip", "127.0.0.1", "-j", "write", "edef", "x"},
         "--json applies to probe, send, read, status, dump, watch, alarms and inspect only"},
        {{"--ip", "127.0.0.1", "--pages", "status"}, "--pages applies to read, write and dump only"},
        {{"--ip", "127.0.0.1", "--pages", "read", "gudm"}, "no page shows 'gudm'"},
        {{"--ip", "127.0.0.1", "--pages", "write", "1ipf", "1,75"}, "1ipf: Invalid frequency value"},
        {{"--ip", "127.0.0.1", "--pages", "write", "edef", "a;b"}, "edef: Invalid characters in text field"},
        {{"--ip", "127.0.0.1", "--pages", "write", "1los", "2"}, "1los: the page offers Low, High"},
        {{"--ip", "127.0.0.1", "--pages", "write", "1snr", "3"},
         "1snr: the pages show this value but do not change it"},
        {{"-a", "10000", "inspect", "x"}, "--address takes a unit address from 0 to 9999"},
        {{"--serial=", "probe"}, "--serial needs a device path"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunTool(c.args);
        EXPECT_EQ(r.exitCode, 2) << Joined(c.args) << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("tavrinctl: " + c.reason + "\nUsage: tavrinctl", 0), 0u)
            << Joined(c.args) << "\n" << r.err;
        EXPECT_TRUE(r.out.empty()) << Joined(c.args);
    }
}

TEST(ToolCommandLine, WordsStartingWithADashAreArgumentsAndReachTheUnit) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    const std::vector<std::vector<std::string>> lines = {
        {"write", "edef", "-5"},
        {"write", "edef", "-x"},
        {"write", "edef", "++"},
        {"write", "edef", "dump"},                   // a command's name, here a value
        {"--", "write", "edef", "--5 dB"},           // "--" before the command
        {"write", "edef", "--", "-j"},               // a short option's name after "--"
        {"write", "--no-probe", "--", "edef", "x"},  // an option after the command
    };
    const std::vector<std::string> values = {"-5", "-x", "++", "dump", "--5 dB", "-j", "x"};
    for (size_t i = 0; i < lines.size(); ++i) {
        const RunResult r = RunTool(Concat(sim.TcpArgs(), lines[i]));
        EXPECT_EQ(r.exitCode, 0) << Joined(lines[i]) << "\n" << r.err;
        EXPECT_EQ(sim.Unit().Value("edef"), values[i]) << Joined(lines[i]);
    }
}

TEST(ToolCommandLine, JsonEscapesEveryControlByteAndEveryByteAboveTilde) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("edef", std::string("a\x08" "b\x0c" "c\x01\x1f\x7f\x80\xff\t\r\n\"\\z"));
    const RunResult r = RunTool(Concat(sim.TcpArgs(), {"--json", "dump"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"value\":\"a\\u0008b\\u000cc\\u0001\\u001f\\u007f\\u0080\\u00ff\\t\\r\\n\\\"\\\\z\""),
              std::string::npos)
        << r.out;
    Json doc;
    ASSERT_TRUE(ParseJson(r.out, doc)) << r.out;
}
