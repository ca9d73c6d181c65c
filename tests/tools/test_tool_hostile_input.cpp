// tavrinctl against input meant to do harm: a unit whose texts hold terminal
// control sequences, keys kept off the command line, and "files" that are
// devices, FIFOs, folders or far too large.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "link/frame.h"
#include "tool_harness.h"

using namespace tooltest;

namespace {

// Clears the screen, then a Latin-1 letter and a backslash that must come
// through unchanged, then sets the window title. The reply's data ends at the
// title's ';', so the title's end is seen only in the raw reply frame.
const std::string kHostileName = "News\x1b[2J caf\xe9 a\\b\x1b]0;owned\x07";
const std::string kShownName = "News\\x1b[2J caf\xe9 a\\b\\x1b]0";

bool HasRawControl(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\n') || (c >= 0x7F && c <= 0x9F)) return true;
    return false;
}

TEST(ToolTerminal, UnitTextsAreShownWithTheirControlBytesEscaped) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("edef", kHostileName);

    for (const auto& transport : {sim.SerialArgs(), sim.TcpArgs()}) {
        const RunResult read = RunTool(Concat(transport, {"read", "edef", "1loc"}));
        ASSERT_EQ(read.exitCode, 0) << read.err;
        EXPECT_FALSE(HasRawControl(read.out)) << read.out;
        EXPECT_EQ(read.out.substr(0, read.out.find('\n') + 1), "edef 1 " + kShownName + "\n");

        const RunResult dump = RunTool(Concat(transport, {"dump"}));
        ASSERT_EQ(dump.exitCode, 0) << dump.err;
        EXPECT_FALSE(HasRawControl(dump.out)) << dump.out;
        EXPECT_NE(dump.out.find(": " + kShownName + "\n"), std::string::npos) << dump.out;

        const RunResult send = RunTool(Concat(transport, {"send", "0001", "redef;;"}));
        ASSERT_EQ(send.exitCode, 0) << send.err;
        EXPECT_FALSE(HasRawControl(send.out)) << send.out;
        EXPECT_NE(send.out.find("\nData: " + kShownName + "\n"), std::string::npos) << send.out;
        EXPECT_NE(send.out.find("\\x020001redef;;"), std::string::npos) << send.out;
        EXPECT_NE(send.out.find("\\x1b]0;owned\\x07;"), std::string::npos) << send.out;
    }

    // The JSON document keeps its own escaping and the exact text.
    const RunResult json = RunTool(Concat(sim.TcpArgs(), {"dump", "--json"}));
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_FALSE(HasRawControl(json.out));
    EXPECT_NE(json.out.find("News\\u001b[2J caf\\u00e9 a\\\\b\\u001b]0\""), std::string::npos) << json.out;
}

TEST(ToolTerminal, FileTextsAreShownWithTheirControlBytesEscaped) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("edef", kHostileName);
    TempFolder folder;
    const std::string file = folder.File("hostile.cfg");
    const RunResult saved = RunTool(Concat(sim.SerialArgs(), {"save-config", file}), kFastWaits);
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const RunResult r = RunTool({"inspect", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(HasRawControl(r.out)) << r.out;
    EXPECT_NE(r.out.find(" " + kShownName + "\n"), std::string::npos) << r.out;
}

TEST(ToolKey, KeyFromStandardInputReachesTheUnitAndStaysOffTheCommandLine) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string lower = "0f1e2d3c4b5a69788796a5b4c3d2e1f0";
    const std::string upper = "00112233445566778899AABBCCDDEEFF";
    const std::vector<std::string> args =
        Concat(sim.SerialArgs(), {"--log", folder.File("k.log"), "key", "aes256", "-"});
    for (const std::string& a : args) EXPECT_EQ(a.find(lower.substr(0, 8)), std::string::npos) << a;
    const RunResult r = RunToolWithInput(args, lower + "\n" + upper + "\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "zaes 1\nza25 1\n");
    EXPECT_EQ(sim.Unit().LastKey("zaes"), lower);
    EXPECT_EQ(sim.Unit().LastKey("za25"), upper);
    const std::string log = ReadFile(folder.File("k.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.find(lower.substr(0, 8)), std::string::npos);

    // One key on one line, as from "< FILE".
    const std::string abs = "89abcdef";
    const RunResult one = RunToolWithInput(Concat(sim.TcpArgs(), {"key", "abs", "-"}), abs + "\n");
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(sim.Unit().LastKey("zebs"), abs);
}

TEST(ToolKey, BadKeyInputSendsNothing) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    struct Case {
        std::vector<std::string> args;
        std::string input;
    };
    const std::vector<Case> cases = {
        {{"key", "aes128", "-"}, ""},                                   // nothing given
        {{"key", "aes128", "-"}, "00112233 44556677 8899"},             // three words
        {{"key", "abs", "-"}, "0123456789abcdef 0123456789abcdef"},     // an upper half for abs
        {{"key", "aes128", "-"}, "xyz"},                                // not hexadecimal
        {{"key", "aes256", "-", "00112233445566778899AABBCCDDEEFF"}, "00"},
        {{"key", "aes128", "-"}, std::string(5000, 'a')},               // far too long
    };
    for (const Case& c : cases) {
        sim.Unit().ClearRequests();
        const RunResult r = RunToolWithInput(Concat(sim.SerialArgs(), c.args), c.input);
        EXPECT_EQ(r.exitCode, 2) << c.input.substr(0, 40) << ": " << r.err;
        EXPECT_TRUE(sim.Unit().Requests().empty()) << c.input.substr(0, 40);
    }
}

TEST(ToolKey, HelpWarnsThatACommandLineKeyIsVisible) {
    const RunResult r = RunTool({"--help"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("key abs|aes128|aes256 -"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("visible to other users"), std::string::npos) << r.out;
}

TEST(ToolInspect, ThingsThatAreNotSmallFilesAreRefusedWithoutHanging) {
    TempFolder folder;
    const std::string fifo = folder.File("pipe.cfg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = folder.File("big.cfg");
    WriteFile(big, std::string(1024 * 1024, '\0'));
    const std::string zeroLink = folder.File("zero.cfg");
    ASSERT_EQ(symlink("/dev/zero", zeroLink.c_str()), 0);
    const std::pair<std::string, const char*> cases[] = {
        {"/dev/zero", "not a regular file"}, {zeroLink, "not a regular file"}, {fifo, "not a regular file"},
        {folder.Path(), "Is a directory"},   {big, "File too large"},
    };
    for (const auto& [path, reason] : cases) {
        const RunResult r = RunTool({"inspect", path});
        EXPECT_EQ(r.exitCode, 1) << path;
        EXPECT_EQ(r.err, "tavrinctl: " + path + ": Unable to open file for reading: " + reason + "\n") << path;
        EXPECT_EQ(r.out, "") << path;
    }
}

}  // namespace
