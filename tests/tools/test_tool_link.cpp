// tavrinctl against the simulated unit: arguments, probe, raw send, reads,
// writes, keys and failures, checked on its output, its exit status, the
// frames the unit took in and the transaction log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/frame.h"
#include "tool_harness.h"
#include "support/frame_text.h"

using namespace tooltest;

namespace {

using testsupport::Frame;

// The frames the unit took in, without the probe that opens every session.
std::vector<std::string> RequestsAfterProbe(sim::SimUnit& unit) {
    std::vector<std::string> all = unit.Requests();
    if (!all.empty() && all.front() == Frame("9999rgadd;;")) all.erase(all.begin());
    return all;
}

}  // namespace

TEST(ToolArguments, BadCommandLinesGiveUsageAndStatusTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--ip", "127.0.0.1", "frobnicate"},
        {"probe"},                                         // no connection option
        {"--ip", "127.0.0.300", "probe"},
        {"--ip", "127.0.0.1", "--serial", "/dev/null", "probe"},
        {"--com", "0", "probe"},
        {"--ip", "127.0.0.1", "--address", "10000", "probe"},
        {"--ip", "127.0.0.1", "read"},
        {"--ip", "127.0.0.1", "read", "1lo"},
        {"--ip", "127.0.0.1", "write", "edef", "a;b"},
        {"--ip", "127.0.0.1", "send", "001", "r1loc;;"},
        {"--ip", "127.0.0.1", "--json", "write", "edef", "x"},
        {"--ip", "127.0.0.1", "key", "des", "12345678"},
        {"--ip", "127.0.0.1", "--bogus", "probe"},
    };
    for (const auto& args : bad) {
        const RunResult r = RunTool(args);
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_EQ(r.exitCode, 2) << line << "\n" << r.err;
        EXPECT_NE(r.err.find("Usage: tavrinctl"), std::string::npos) << line;
        EXPECT_TRUE(r.out.empty()) << line;
    }
}

TEST(ToolArguments, HelpDocumentsTheTestAidsAndExitsZero) {
    const RunResult r = RunTool({"--help"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* word : {"--serial PATH", "--com N", "--ip A.B.C.D", "--baud N", "--address N", "--log FILE",
                             "--no-probe", "--program-folder DIR", "--json", "TAVRIN_WAIT_SCALE", "save-set",
                             "inspect FILE", "key abs|aes128|aes256"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(ToolProbe, ReportsTheUnitAddressOverEveryTransport) {
    SimulatedUnit sim(false, 42);
    ASSERT_TRUE(sim.Started()) << sim.Error();

    RunResult r = RunTool(Concat(sim.SerialArgs(), {"probe"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "42\n");

    r = RunTool(Concat(sim.TcpArgs(), {"probe"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "42\n");

    // COM3 through a link in the program folder's ports folder.
    TempFolder folder;
    ASSERT_EQ(::mkdir(folder.File("ports").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(sim.PtyPath().c_str(), folder.File("ports/COM3").c_str()), 0);
    r = RunTool({"--com", "3", "--program-folder", folder.Path(), "probe"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "42\n");

    // The session's own probe and the command's, both to the any-unit address.
    const auto requests = sim.Unit().Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0], Frame("9999rgadd;;"));
    EXPECT_EQ(requests[1], Frame("9999rgadd;;"));
}

TEST(ToolProbe, ProbeAddressIsUsedUnlessAnAddressIsGiven) {
    SimulatedUnit sim(false, 7);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"read", "gudm"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(RequestsAfterProbe(sim.Unit()).back(), Frame("0007rgudm;;"));

    sim.Unit().ClearRequests();
    r = RunTool(Concat(sim.TcpArgs(), {"--no-probe", "--address", "7", "read", "gudm"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(sim.Unit().Requests().size(), 1u);   // no probe at all
    EXPECT_EQ(sim.Unit().Requests()[0], Frame("0007rgudm;;"));
}

TEST(ToolSend, ShowsTheRequestAndReplyBytes) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    const RunResult r = RunTool(Concat(sim.SerialArgs(), {"send", "0001", "r1loc;;"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const std::string request = Frame("0001r1loc;;");
    ASSERT_EQ(request, std::string("\x02" "0001r1loc;;\x98\x03"));
    const std::string reply = sim::BuildReplyFrame(1, '1', sim.Unit().Value("1loc"));
    // The frame's control bytes (STX, this checksum, ETX) are shown escaped.
    const std::string expected = "Sending:  2 30 30 30 31 72 31 6c 6f 63 3b 3b 98  3 \\x020001r1loc;;\\x98\\x03\n";
    ASSERT_GE(r.out.size(), expected.size());
    EXPECT_EQ(r.out.substr(0, expected.size()), expected);

    std::string replyHex, replyShown;
    char cell[8];
    for (unsigned char b : reply) {
        std::snprintf(cell, sizeof cell, "%2x ", b);
        replyHex += cell;
        if (b < 0x20 || (b >= 0x7F && b <= 0x9F)) {
            std::snprintf(cell, sizeof cell, "\\x%02x", b);
            replyShown += cell;
        } else {
            replyShown.push_back(char(b));
        }
    }
    EXPECT_NE(r.out.find("\nReply: " + replyHex + replyShown + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Status: 1\n"), std::string::npos);
}

TEST(ToolSend, RejectedReplyIsStillShownButFails) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetFault(sim::Fault::BadChecksum, 1);
    const RunResult r = RunTool(Concat(sim.TcpArgs(), {"--no-probe", "send", "0001", "rgmod;;"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Bad checksum in response message"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.rfind("Sending:  2 30 30 30 31 72 67 6d 6f 64 3b 3b ", 0), 0u) << r.out;
    // Over TCP the deciphered length byte in front of the STX is shown too.
    EXPECT_NE(r.out.find("\nReply:  a  2 30 30 30 31 "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Status:"), std::string::npos);
    // Only the failure reaches standard error; the link's diagnostic lines
    // come only on request.
    EXPECT_EQ(r.err, "tavrinctl: " + sim.Ip() + ": Bad checksum in response message\n");
    sim.Unit().SetFault(sim::Fault::BadChecksum, 1);
    const RunResult debug =
        RunTool(Concat(sim.TcpArgs(), {"--no-probe", "send", "0001", "rgmod;;"}), {"TAVRIN_DEBUG=1"});
    EXPECT_EQ(debug.exitCode, 1);
    EXPECT_NE(debug.err.find("Blowfish_Init called"), std::string::npos) << debug.err;
}

TEST(ToolReadWrite, ReadsPrintCodeStatusDataAndWritesReachTheUnit) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetValue("1ipf", "1.75");
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"read", "1ipf", "zzzz", "gudm"}));
    // A refused code is said on standard error; the others are read as usual.
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.out, "1ipf 1 1.75\ngudm 1 " + sim.Unit().Value("gudm") + "\n");
    EXPECT_EQ(r.err, "tavrinctl: zzzz: refused by the unit\n");

    r = RunTool(Concat(sim.SerialArgs(), {"write", "edef", "Field unit 3"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(sim.Unit().Value("edef"), "Field unit 3");
    EXPECT_EQ(RequestsAfterProbe(sim.Unit()).back(), Frame("\x02" "0001wedef;Field unit 3;"));

    // "--" ends the options, so a value may begin with "--".
    r = RunTool(Concat(sim.TcpArgs(), {"write", "--", "edef", "--5 dB"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sim.Unit().Value("edef"), "--5 dB");
}

TEST(ToolKey, RefusedKeysSendNothing) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"key", "abs", "1234567"}, "ABS key must be 8 hex digits"},
        {{"key", "aes128", "0123456789abcdef0123456789abcde"}, "AES key must be 32 hex digits"},
        {{"key", "aes256", "0123456789abcdef0123456789abcdef"}, "AES key must be 32 hex digits in each field"},
        {{"key", "aes256", "0123456789abcdef0123456789abcdef", "0123456789abcdef0123456789abcdeg"},
         "Invalid characters in hex field"},
        {{"key", "abs", "1234567x"}, "Invalid characters in hex field"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunTool(Concat(sim.TcpArgs(), c.args));
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_TRUE(sim.Unit().Requests().empty());
}

TEST(ToolKey, Aes256KeyIsSentInTwoHalvesAndMaskedInTheLog) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TempFolder folder;
    const std::string lower = "a1b2c3d4e5f60718293a4b5c6d7e8f90";
    const std::string upper = "FEDCBA9876543210FEDCBA9876543210";
    // Only the first 32 digits of each field are taken.
    const RunResult r =
        RunTool(Concat(sim.SerialArgs(), {"--log", folder.File("x.log"), "key", "aes256", lower + "77", upper}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "zaes 1\nza25 1\n");
    EXPECT_EQ(sim.Unit().LastKey("zaes"), lower);
    EXPECT_EQ(sim.Unit().LastKey("za25"), upper);
    const auto requests = RequestsAfterProbe(sim.Unit());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], Frame("0001wzaes;" + lower + ";"));
    EXPECT_EQ(requests[1], Frame("0001wza25;" + upper + ";"));

    const std::string log = ReadFile(folder.File("x.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.find(lower.substr(0, 8)), std::string::npos);
    EXPECT_EQ(log.find(upper.substr(0, 8)), std::string::npos);
    EXPECT_EQ(log.find("61 31 62 32"), std::string::npos);   // "a1b2" in hex
    // The checksum, a sum of the key's digits, is masked as well.
    EXPECT_NE(log.find("wzaes;" + std::string(32, '*') + ";*\x03"), std::string::npos);
    EXPECT_NE(log.find("wza25;" + std::string(32, '*') + ";*\x03"), std::string::npos);
    size_t masked = 0;
    for (size_t at = log.find("** "); at != std::string::npos; at = log.find("** ", at + 3)) ++masked;
    EXPECT_EQ(masked, 66u);
    // The probe is logged in the clear.
    EXPECT_NE(log.find("9999rgadd;;"), std::string::npos);
}

TEST(ToolFailures, SilentUnitFailsWithTheResultText) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetFault(sim::Fault::Silence);
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"probe"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("An error occurred trying to read from the serial port"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());

    r = RunTool(Concat(sim.SerialArgs(), {"--no-probe", "read", "1loc", "eloc"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("1loc: Timed out trying to read a response message"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST(ToolFailures, ReplyWithoutEndAndMissingPortAreReported) {
    SimulatedUnit sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    sim.Unit().SetFault(sim::Fault::NoEtx, 1);
    RunResult r = RunTool(Concat(sim.TcpArgs(), {"--no-probe", "read", "1loc"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No end of message in response"), std::string::npos) << r.err;

    TempFolder empty;
    r = RunTool({"--serial", empty.File("no-such-tty"), "probe"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Unable to open serial port"), std::string::npos) << r.err;
}
