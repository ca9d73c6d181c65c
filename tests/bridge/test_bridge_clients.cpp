// Several clients at once through the bridge to one unit on a pseudo-terminal:
// link objects over loopback and tavrinctl processes, each getting the reply
// to its own request, also while the poll cycle runs and while the unit
// restarts for a mode change.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "bridge/bridge_rig.h"
#include "tools/tool_harness.h"

using namespace bridgetest;

namespace {

// Codes whose values differ from each other on the simulated unit.
const char* const kCodes[] = {"gsof", "gser", "gbty", "1snr", "1mer", "1ina", "1inb", "1cer"};

}  // namespace

TEST(BridgeClients, EveryClientGetsTheReplyToItsOwnRequest) {
    BridgeRig rig;
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    std::map<std::string, std::string> expected;
    for (const char* code : kCodes) expected[code] = rig.unit->Value(code);
    ASSERT_EQ(expected.size(), std::size(kCodes));

    std::atomic<int> wrong{0}, failed{0}, good{0};
    std::vector<std::thread> clients;
    // Four link objects, as four desktop programs would use the bridge.
    for (int i = 0; i < 4; ++i) {
        clients.emplace_back([&, i] {
            LinkClient client(rig.ip);
            if (!client.Connected()) return void(++failed);
            for (int n = 0; n < 40; ++n) {
                const char* code = kCodes[(i + n) % std::size(kCodes)];
                const std::optional<std::string> value = client.Read(code);
                if (!value) ++failed;
                else if (*value != expected[code]) ++wrong;
                else ++good;
            }
        });
    }
    // Four tavrinctl processes, each reading its own codes many times.
    std::vector<tooltest::RunResult> tools(4);
    for (int i = 0; i < 4; ++i) {
        clients.emplace_back([&, i] {
            std::vector<std::string> args = {"--ip", rig.ip, "read"};
            for (int n = 0; n < 15; ++n) args.push_back(kCodes[4 + i]);
            tools[size_t(i)] = tooltest::RunTool(args);
        });
    }
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(good, 4 * 40);
    for (int i = 0; i < 4; ++i) {
        const tooltest::RunResult& r = tools[size_t(i)];
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::istringstream lines(r.out);
        std::string line;
        int count = 0;
        const std::string code = kCodes[4 + i];
        while (std::getline(lines, line)) {
            EXPECT_EQ(line, code + " 1 " + expected[code]);
            ++count;
        }
        EXPECT_EQ(count, 15) << r.out;
    }
    // The unit never saw two requests run into each other on its line.
    EXPECT_EQ(rig.unit->Counters().badChecksum, 0u);
}

TEST(BridgeClients, AModeChangeInTheMiddleOfTrafficIsSurvivedWithRightReplies) {
    BridgeRig rig;
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    const std::string serial = rig.unit->Value("gser");
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0}, afterRestart{0};
    std::atomic<bool> restarted{false};
    std::thread reader([&] {
        LinkClient client(rig.ip);
        while (!stop) {
            const std::optional<std::string> value = client.Read("gser");
            if (value && *value != serial) ++wrong;
            if (value && restarted && !rig.unit->IsRestarting()) ++afterRestart;
        }
    });
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(rig.unit->Mode(), 0);
    // The mode change, sent raw by a second client, restarts the unit.
    const tooltest::RunResult change = tooltest::RunTool({"--ip", rig.ip, "send", "0001", "wgudm;1;"});
    EXPECT_EQ(change.exitCode, 0) << change.out << change.err;
    restarted = true;
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (afterRestart < 5 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
    stop = true;
    reader.join();
    EXPECT_EQ(rig.unit->Mode(), 1);
    EXPECT_GE(afterRestart, 5);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_up"), 1));
}

TEST(BridgeCommandLine, HelpVersionAndBadLines) {
    const ProgramResult help = RunWithInput(BinPath("tavrin_bridge"), {"--help"}, "");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--serial PATH", "--com N", "--ip A.B.C.D", "--listen ADDR[:PORT]", "--metrics ADDR:PORT",
                             "--interval MS", "--max-clients N", "--idle-timeout SECONDS", "--log FILE",
                             "--web-config FILE", "--alarm-rules FILE", "--agentx SOCKET", "--check-config", "--listen-read-only ADDR[:PORT]", "--allow CIDR",
                             "trusted networks", "default 30", "default 8", "127.0.0.1:9999"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const ProgramResult version = RunWithInput(BinPath("tavrin_bridge"), {"--version"}, "");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("tavrin_bridge ") + TAVRIN_VERSION + "\n");
    EXPECT_NE(help.out.find("Usage: tavrin_bridge "), std::string::npos);
    EXPECT_NE(help.out.find("\nExample:\n  tavrin_bridge --serial "), std::string::npos) << help.out;
    // A bad command line exits 2 with its reason first, as tavrinctl's does; a
    // unit port that cannot be opened is a failure (1).
    struct Bad {
        std::vector<std::string> args;
        int status;
        std::string line;   // the first line of the output, when given
    };
    const std::vector<Bad> bad = {
        {{}, 2, "tavrin_bridge: give exactly one of --serial, --com and --ip"},
        {{"--ip", "127.0.0.1", "--serial", "/dev/null"}, 2, ""},
        {{"--ip", "127.0.0.300"}, 2, ""},
        {{"--ip", "127.0.0.1", "--listen", "localhost"}, 2, ""},
        {{"--ip", "127.0.0.1", "--listen", "127.0.0.1:70000"}, 2, ""},
        {{"--ip", "127.0.0.1", "--metrics", "127.0.0.1"}, 2, ""},
        {{"--ip", "127.0.0.1", "--max-clients", "0"}, 2, ""},
        {{"--ip", "127.0.0.1", "--interval", "soon"}, 2, ""},
        {{"--ip", "127.0.0.1", "--lisen", "127.0.0.1"}, 2, "tavrin_bridge: unknown option '--lisen': did you mean '--listen'?"},
        {{"--ip", "127.0.0.1", "stray"}, 2, "tavrin_bridge: unexpected argument 'stray'"},
        {{"--serial", "/nonexistent/tty"}, 1, ""},
        {{"--ip", "127.0.0.1", "--listen-read-only", "127.0.0.1:99999"}, 2,
         "tavrin_bridge: --listen-read-only 127.0.0.1:99999: not an IPv4 ADDR[:PORT]"},
        {{"--ip", "127.0.0.1", "--allow", "10.0.0.1/8"}, 2,
         "tavrin_bridge: --allow 10.0.0.1/8: bits set past the prefix length (the range is 10.0.0.0/8)"},
        {{"--ip", "127.0.0.1", "--allow", "10.0.0.0/33"}, 2,
         "tavrin_bridge: --allow 10.0.0.0/33: the prefix length after '/' must be 0 to 32"},
        {{"--ip", "127.0.0.1", "--allow", "127.0.0.1", "--allow", "::1/128"}, 2,
         "tavrin_bridge: --allow ::1/128: not an IPv4 address or range (A.B.C.D or A.B.C.D/N)"},
    };
    for (const Bad& b : bad) {
        const ProgramResult r = RunWithInput(BinPath("tavrin_bridge"), b.args, "");
        const std::string last = b.args.empty() ? "" : b.args.back();
        EXPECT_EQ(r.exitCode, b.status) << last << r.out;
        EXPECT_FALSE(r.out.empty());
        const std::string hint = "\nRun \"tavrin_bridge --help\" for the options.\n";
        EXPECT_EQ(r.out.find(hint) != std::string::npos, b.status == 2) << r.out;
        if (!b.line.empty()) {
            EXPECT_EQ(r.out.substr(0, r.out.find('\n')), b.line);
        }
    }
}
