// The desktop program in Ethernet mode through the bridge to a unit on a
// pseudo-terminal, with tavrinctl reading through the same bridge meanwhile.
#include "gui/test_main_support.h"

#include <QLabel>
#include <thread>

#include "bridge/bridge_rig.h"
#include "support/loopback.h"
#include "tools/tool_harness.h"

using namespace guitest;

TEST(MainBridge, TheDesktopWorksThroughTheBridgeBesideAnotherClient) {
    // The unit and its bridge; the desktop's own port folder holds no unit.
    bridgetest::RigOptions bridgeOptions;
    bridgeOptions.intervalMs = 100;
    bridgetest::BridgeRig bridge(bridgeOptions);
    ASSERT_TRUE(bridge.Start()) << bridge.bridge.Err();
    RigOptions options;
    options.startUnit = false;
    options.serial = false;
    const std::string ip = bridge.ip;
    options.settings = [ip](AppSettingsData& s) {
        s.AppTitle = kDefaultAppTitle;
        s.ConnectionType = 1;
        s.LastIpAddress = ip;
        s.PollIntervalMs = 50;
    };
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected()) << bridge.bridge.Err();
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Connected");

    // tavrinctl reads through the bridge while the desktop polls.
    tooltest::RunResult tool;
    std::thread other([&] { tool = tooltest::RunTool({"--ip", ip, "read", "gser", "gser", "gser", "gser"}); });
    // The poll thread brings the lamps through the bridge.
    EXPECT_TRUE(SpinUntil([&] { return LampIcon(&w, 1058) == kIconGreen; }));
    const std::string serial = bridge.unit->Value("gser");
    other.join();
    EXPECT_EQ(tool.exitCode, 0) << tool.err;
    EXPECT_EQ(tool.out, "gser 1 " + serial + "\ngser 1 " + serial + "\ngser 1 " + serial + "\ngser 1 " + serial + "\n");
    // The unit took the desktop's start-up reads (of its demodulator table: the
    // bridge's own poll reads the slot, the mode and the frequency too).
    bool sawTableRead = false;
    for (const std::string& frame : bridge.unit->Requests())
        if (frame.find("r1wid;;") != std::string::npos) sawTableRead = true;
    EXPECT_TRUE(sawTableRead);
    EXPECT_TRUE(bridge.WaitForSample(bridge.Series("tavrin_bridge_clients"), 1));
    rig.Exit();
    EXPECT_TRUE(bridge.WaitForSample(bridge.Series("tavrin_bridge_clients"), 0));
}

TEST(MainBridge, TheDesktopReadsThroughAReadOnlyListener) {
    const std::string readOnlyIp = testsupport::RandomLoopbackAddress();
    bridgetest::RigOptions bridgeOptions;
    bridgeOptions.intervalMs = 100;
    bridgeOptions.extraArgs = {"--listen-read-only", readOnlyIp};
    bridgetest::BridgeRig bridge(bridgeOptions);
    ASSERT_TRUE(bridge.Start()) << bridge.bridge.Err();
    ASSERT_TRUE(bridgetest::WaitForListener(readOnlyIp, 9999));
    RigOptions options;
    options.startUnit = false;
    options.serial = false;
    options.settings = [readOnlyIp](AppSettingsData& s) {
        s.AppTitle = kDefaultAppTitle;
        s.ConnectionType = 1;
        s.LastIpAddress = readOnlyIp;
        s.PollIntervalMs = 50;
    };
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected()) << bridge.bridge.Err();
    EXPECT_TRUE(SpinUntil([&] { return LampIcon(&w, 1058) == kIconGreen; }));
    rig.Exit();
    // Its start-up and its polling are reads only: nothing refused, no write
    // at the unit.
    for (const std::string& frame : bridge.unit->Requests()) EXPECT_EQ(frame.substr(5, 1), "r") << frame;
    const std::string log = bridge.bridge.Err();
    EXPECT_NE(log.find("connected to " + readOnlyIp + ":9999 (read only)"), std::string::npos) << log;
    EXPECT_EQ(log.find("refused"), std::string::npos) << log;
}
