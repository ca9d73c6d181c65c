// Help for one command (`COMMAND --help`, `help COMMAND`) and the suggestion
// after a mistyped command or option.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_harness.h"
#include "platform/nearest_word.h"

using namespace tooltest;

namespace {

// The command names of the usage text's "Commands:" section.
std::vector<std::string> HelpCommands() {
    const std::string help = RunTool({"--help"}).out;
    const size_t begin = help.find("\nCommands:\n");
    const size_t end = help.find("\nEnvironment:");
    std::vector<std::string> names;
    const std::string part = help.substr(begin, end - begin);
    // A row: two spaces at a line's start, then the name (no std::regex: GCC
    // warns on its instantiation under the sanitizers).
    const auto inName = [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; };
    for (size_t at = part.find("\n  "); at != std::string::npos; at = part.find("\n  ", at + 1)) {
        const size_t first = at + 3;
        if (first >= part.size() || part[first] < 'a' || part[first] > 'z') continue;
        size_t last = first;
        while (last < part.size() && inName(part[last])) ++last;
        const std::string name = part.substr(first, last - first);
        if (names.empty() || names.back() != name) names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(ToolHelp, EveryCommandHasItsUsageOptionsAndExampleBothWays) {
    const std::vector<std::string> commands = HelpCommands();
    ASSERT_GE(commands.size(), 14u);
    for (const std::string& name : commands) {
        const RunResult asked = RunTool({name, "--help"});
        EXPECT_EQ(asked.exitCode, 0) << name << asked.err;
        EXPECT_TRUE(asked.err.empty()) << name << asked.err;
        EXPECT_EQ(asked.out.rfind("Usage: tavrinctl ", 0), 0u) << asked.out;
        EXPECT_NE(asked.out.substr(0, asked.out.find('\n')).find(" " + name), std::string::npos) << asked.out;
        EXPECT_NE(asked.out.find("Example:\n  tavrinctl "), std::string::npos) << asked.out;
        EXPECT_EQ(RunTool({"help", name}).out, asked.out) << name;
        EXPECT_EQ(RunTool({"-i", "192.0.2.1", name, "-h", "x"}).out, asked.out) << name;
    }
    EXPECT_EQ(RunTool({"help"}).out, RunTool({"--help"}).out);
}

TEST(ToolHelp, ACommandsHelpListsTheOptionsThatApplyToIt) {
    struct Case {
        std::string command;
        std::vector<std::string> listed, left_out;
    };
    const std::vector<Case> cases = {
        {"watch", {"--serial PATH", "--interval MS", "--csv FILE", "--json", "--quiet"}, {}},
        {"status", {"--ip A.B.C.D", "--json", "--no-probe"}, {"--interval", "--csv", "--alarm-rules"}},
        {"alarms", {"--alarm-rules FILE", "--interval MS", "--count N", "--json"}, {"--csv"}},
        {"save-set", {"--com N", "--quiet", "--log FILE"}, {"--json", "--count"}},
        {"inspect", {"--json"}, {"--serial", "--baud", "CONNECTION"}},
    };
    for (const Case& c : cases) {
        const std::string text = RunTool({"help", c.command}).out;
        for (const std::string& word : c.listed) EXPECT_NE(text.find(word), std::string::npos) << c.command << word;
        for (const std::string& word : c.left_out) EXPECT_EQ(text.find(word), std::string::npos) << c.command << word;
    }
}

TEST(ToolHelp, AMistypedWordGetsTheNearestCommandOrOption) {
    struct Case {
        std::vector<std::string> args;
        std::string line;   // the first line on standard error
    };
    const std::vector<Case> cases = {
        {{"stauts"}, "unknown command 'stauts': did you mean 'status'?"},
        {{"help", "stauts"}, "unknown command 'stauts': did you mean 'status'?"},
        {{"-i", "192.0.2.1", "sav-set", "x"}, "unknown command 'sav-set': did you mean 'save-set'?"},
        {{"insepct", "--help"}, "unknown command 'insepct': did you mean 'inspect'?"},
        {{"-i", "192.0.2.1", "status", "--jsn"}, "unknown option '--jsn': did you mean '--json'?"},
        {{"--seriel", "/dev/null", "probe"}, "unknown option '--seriel': did you mean '--serial'?"},
        {{"-i", "192.0.2.1", "watch", "--intervall=5"}, "unknown option '--intervall': did you mean '--interval'?"},
        {{"xyzzy"}, "unknown command 'xyzzy'"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunTool(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.line;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "tavrinctl: " + c.line);
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(NearestWord, EditsCountOnceAndFarWordsAreNoSuggestion) {
    struct Case {
        const char* a;
        const char* b;
        size_t distance;
    };
    for (const Case& c : std::vector<Case>{{"status", "stauts", 1}, {"status", "status", 0}, {"", "dump", 4},
                                           {"save-set", "load-set", 4}, {"--json", "--jsno", 1}, {"abcd", "acbd", 1}})
        EXPECT_EQ(EditDistance(c.a, c.b), c.distance) << c.a << " " << c.b;
    const std::vector<std::string> known = {"read", "dump", "save-set", "load-set"};
    EXPECT_EQ(NearestWord("raed", known), "read");
    EXPECT_EQ(NearestWord("dmp", known), "dump");
    EXPECT_EQ(NearestWord("sve-st", known), "save-set");
    EXPECT_EQ(NearestWord("rd", known), "");
    EXPECT_EQ(NearestWord("wrte", known), "");
    EXPECT_EQ(DidYouMean("lod-set", known), ": did you mean 'load-set'?");
}
