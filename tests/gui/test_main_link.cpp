// The connection panel over Ethernet and the window's reaction to a link that
// goes silent and comes back, with the poll thread running.
#include "gui/test_main_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/CIpAddressCtrl.h"
#include "link/remote_control.h"
#include "params/unit_state.h"

using namespace guitest;

TEST(MainLink, EthernetConnectReadsTheUnitAndIsRememberedForTheNextStart) {
    RigOptions options;
    options.serial = false;
    options.tcp = true;
    Rig rig(options);
    const std::string ip = rig.unit->TcpAddress();
    {
        CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
        // No serial unit: the start-up scan finds nothing.
        ASSERT_EQ(rig.Texts(), (std::vector<std::string>{"Unable to connect"}));
        ASSERT_FALSE(w.UnitConnected());

        Ctl<QRadioButton>(&w, 1006)->click();
        auto* address = Ctl<CIpAddressCtrl>(&w, 1059);
        ASSERT_TRUE(address->SetText(ip));
        address->Field(3)->clear();
        Ctl<QPushButton>(&w, 1002)->click();
        EXPECT_EQ(rig.prompts.messages.back().text, "Invalid IP address entered");
        EXPECT_EQ(rig.prompts.messages.back().caption, "Error");
        EXPECT_EQ(AppSettings.ConnectionType, 0);

        ASSERT_TRUE(address->SetText(ip));
        Ctl<QPushButton>(&w, 1002)->click();   // runs the Connecting window until done
        EXPECT_TRUE(w.UnitConnected());
        EXPECT_EQ(w.Link().Mode(), LinkModeEthernet);
        EXPECT_EQ(AppSettings.ConnectionType, 1);
        EXPECT_EQ(w.Unit().ipAddress, ip);
        EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Connected");
        EXPECT_EQ(LampIcon(&w, 1058), kIconGreen);
        EXPECT_FALSE(rig.RequestsStarting("rdlas;;").empty());
        EXPECT_EQ(rig.prompts.messages.size(), 2u);

        // The same address again is refused and keeps the connection.
        const uint64_t connections = rig.unit->Counters().tcpConnections;
        Ctl<QPushButton>(&w, 1002)->click();
        EXPECT_EQ(rig.prompts.messages.back().text, "Already connected on this IP address");
        EXPECT_EQ(rig.prompts.messages.back().caption, "Alert");
        EXPECT_EQ(rig.prompts.messages.back().icon, PromptIcon::Information);
        EXPECT_EQ(rig.unit->Counters().tcpConnections, connections);
        rig.Exit();
    }
    AppSettingsData saved;
    ASSERT_TRUE(ReadSettingsFile(SettingsFilePath(rig.folder.path), saved));
    EXPECT_EQ(saved.ConnectionType, 1);
    EXPECT_EQ(saved.LastIpAddress.value_or(""), ip);

    // The next start goes the Ethernet way to the last address.
    rig.prompts.messages.clear();
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_TRUE(w.UnitConnected());
    EXPECT_TRUE(Ctl<QRadioButton>(&w, 1006)->isChecked());
    EXPECT_EQ(Ctl<CIpAddressCtrl>(&w, 1059)->Text(), ip);
}

TEST(MainLink, ASilentUnitGreysTheLampsAndThePollThreadBringsItBack) {
    RigOptions options;
    options.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 100;
        s.ReadIntervalTimeout = 50;
        s.PollIntervalMs = 100;   // the fastest interval the program allows
        s.AppTitle = kDefaultAppTitle;
    };
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    // The poll thread reports the lamps.
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, 1013) == kIconGreen; }));

    rig.unit->SetFault(sim::Fault::Silence);
    ASSERT_TRUE(SpinUntil([&] { return !w.UnitConnected(); }));
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Not connected");
    EXPECT_EQ(LampIcon(&w, 1058), kIconRed);
    for (int lamp : {1013, 1014, 1015}) EXPECT_EQ(LampIcon(&w, lamp), kIconGrey) << lamp;

    rig.unit->ClearRequests();
    rig.unit->ClearFault();
    ASSERT_TRUE(SpinUntil([&] { return w.UnitConnected(); }));
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Connected");
    EXPECT_EQ(LampIcon(&w, 1058), kIconGreen);
    // Coming back re-reads the unit: address probe, then slot and mode.
    ASSERT_TRUE(SpinUntil([&] { return !rig.RequestsStarting("rdlas;;").empty(); }));
    EXPECT_FALSE(rig.RequestsStarting("rgadd;;").empty());
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, 1013) == kIconGreen; }));
}
