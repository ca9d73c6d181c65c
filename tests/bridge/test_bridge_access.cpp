// Who may reach the unit through the bridge: a read-only listener that passes
// reads and answers everything else with 'E' itself, an allow list that
// closes connections from elsewhere at once, and the log of both.
#include <gtest/gtest.h>

#include "bridge/bridge_rig.h"
#include "support/frame_text.h"
#include "support/loopback.h"
#include "tools/tool_harness.h"

using namespace bridgetest;

namespace {

// The requests the unit saw that were not reads.
std::vector<std::string> WritesSeen(const sim::SimUnit& unit) {
    std::vector<std::string> writes;
    for (const std::string& frame : unit.Requests())
        if (frame.size() > 5 && frame[5] != 'r') writes.push_back(frame);
    return writes;
}

}  // namespace

TEST(BridgeAccess, AReadOnlyListenerPassesReadsAndRefusesEverythingElse) {
    const std::string readOnlyIp = testsupport::RandomLoopbackAddress();
    RigOptions options;
    options.extraArgs = {"--listen-read-only", readOnlyIp};
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    ASSERT_TRUE(WaitForListener(readOnlyIp, 9999));
    rig.unit->ClearRequests();

    // The tool's reading commands work through it.
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"status"}, {"dump"}, {"read", "1loc", "gser"}, {"watch", "--count", "2",
                                                                                   "--interval", "100"}}) {
        std::vector<std::string> args = {"--ip", readOnlyIp};
        args.insert(args.end(), command.begin(), command.end());
        const tooltest::RunResult r = tooltest::RunTool(args);
        EXPECT_EQ(r.exitCode, 0) << command[0] << ": " << r.out << r.err;
    }
    EXPECT_TRUE(WritesSeen(*rig.unit).empty());

    // A write, a key and a request of no known kind: 'E' from the bridge,
    // nothing at the unit.
    const tooltest::RunResult write = tooltest::RunTool({"--ip", readOnlyIp, "write", "1ipf", "1.4500"});
    EXPECT_EQ(write.exitCode, 3) << write.out << write.err;
    const std::string key = "0123456789ABCDEF0123456789ABCDEF";
    const tooltest::RunResult keyRun = tooltest::RunToolWithInput({"--ip", readOnlyIp, "key", "aes128", "-"}, key + "\n");
    EXPECT_EQ(keyRun.exitCode, 3) << keyRun.out << keyRun.err;
    LinkClient link(readOnlyIp);
    ASSERT_TRUE(link.Connected());
    for (const char* text : {"\x02" "0001wgmod;1;", "\x02" "0001xgmod;;", "\x02" "0001r1loc;1;"}) {
        int status = 0;
        std::string data;
        EXPECT_EQ(link.Transact(text, &status, &data), kResultOk) << text + 1;
        EXPECT_EQ(status, 'E') << text + 1;
    }
    EXPECT_EQ(link.Read("gser"), rig.unit->Value("gser"));   // the same client reads on
    EXPECT_TRUE(WritesSeen(*rig.unit).empty());
    EXPECT_EQ(rig.unit->LastKey("zaes"), "");
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_requests_refused_total"), 5)) << *rig.Metrics();

    // Through the other listener a write reaches the unit, and is logged.
    const tooltest::RunResult served = tooltest::RunTool({"--ip", rig.ip, "write", "1ipf", "1.4500"});
    EXPECT_EQ(served.exitCode, 0) << served.out << served.err;
    EXPECT_EQ(WritesSeen(*rig.unit).size(), 1u);

    EXPECT_EQ(rig.bridge.Stop(), 0);
    const std::string log = rig.bridge.Err();
    for (const std::string& line :
         {"serving " + readOnlyIp + ":9999 (read only)", "connected to " + readOnlyIp + ":9999 (read only)",
          std::string("write 1ipf refused: read-only listener"), std::string("write zaes refused: read-only listener"),
          std::string("request of unknown kind gmod refused"), std::string("request of unknown kind 1loc refused"),
          std::string(" write 1ipf\n"), std::string(" disconnected")})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("0123456789"), std::string::npos) << log;   // never a key's text
}

TEST(BridgeAccess, AnAddressOutsideTheAllowListIsClosedAtOnceAndCounted) {
    RigOptions options;
    options.extraArgs = {"--allow", "127.0.0.2/32", "--allow", "10.0.0.0/8"};
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    // The rig's own look for the listener came from 127.0.0.1: the first one.
    const std::string series = rig.Series("tavrin_bridge_connections_not_allowed_total");
    ASSERT_TRUE(rig.WaitForSample(series, 1)) << *rig.Metrics();

    RawClient outsider(rig.ip, 9999, "127.0.0.1");
    ASSERT_TRUE(outsider.Connected());
    EXPECT_TRUE(outsider.WaitClosed(2s));
    EXPECT_TRUE(rig.WaitForSample(series, 2)) << *rig.Metrics();

    RawClient insider(rig.ip, 9999, "127.0.0.2");
    ASSERT_TRUE(insider.Connected());
    ASSERT_TRUE(insider.SendFrame(testsupport::Frame("\x02" "0001rgser;;")));
    EXPECT_EQ(insider.Replies(1, 5s), std::vector<std::string>{rig.unit->Value("gser")});
    // The metrics listener is not the allow list's: the scrapes above came
    // from 127.0.0.1 too.

    EXPECT_EQ(rig.bridge.Stop(), 0);
    const std::string log = rig.bridge.Err();
    EXPECT_NE(log.find("client 127.0.0.1:"), std::string::npos) << log;
    EXPECT_NE(log.find("refused: not in an --allow range"), std::string::npos) << log;
    EXPECT_NE(log.find("client 127.0.0.2:"), std::string::npos) << log;
}
