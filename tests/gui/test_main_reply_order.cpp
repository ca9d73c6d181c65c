// The desktop program over Ethernet against a unit whose replies fall out of
// step: a table read with one late reply shows no row another row's value;
// and the switch from RS232 to Ethernet while the poll thread runs.
#include "gui/test_main_support.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <map>
#include <thread>

#include "link/locks.h"
#include "link/remote_control.h"
#include "ui/CIpAddressCtrl.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "pages/ui/CSimpleDemodDialog.h"

using namespace guitest;

namespace {

// Settings for a start that goes the Ethernet way to `ip`, without polling.
void WriteEthernetSettings(const Rig& rig, const std::string& ip, bool polling) {
    AppSettingsData s;
    s.ReadTotalTimeoutConstant = 150;
    s.ReadIntervalTimeout = 100;
    s.AppTitle = kDefaultAppTitle;
    s.ConnectionType = 1;
    s.LastIpAddress = ip;
    s.PollingEnabled = polling ? 1 : 0;
    ASSERT_TRUE(WriteSettingsFile(SettingsFilePath(rig.folder.path), s));
}

// For each row of the tables ReadUnitConfig reads: the value the program
// took for it and, when the page has its control, what the control shows.
std::map<std::string, std::string> ShownRows(const UnitState& unit, IPage& page, int mode) {
    std::map<std::string, std::string> shown;
    for (const ParamEntry* table : {DemodTableForMode(mode), DecoderTable}) {
        for (const ParamEntry* row = table; row->code; ++row) {
            const ParamValue value = ReadParamValue(unit, *row);
            std::string text = value.has ? value.text + "#" + std::to_string(value.number) : "";
            const int id = row->controlId;
            if (id != 0 && page.HasControl(id)) {
                text += "|" + page.GetText(id) + "|" + std::to_string(page.GetSelection(id)) + "|" +
                        std::to_string(page.GetIp(id)) + "|" + (page.IsChecked(id) ? "x" : "-");
            }
            shown[row->code] = text;
        }
    }
    return shown;
}

}  // namespace

TEST(MainReplyOrder, TableReadWithALateReplyShowsNoRowAnotherRowsValue) {
    RigOptions options;
    options.serial = false;
    options.tcp = true;
    options.settings = nullptr;
    Rig rig(options);
    WriteEthernetSettings(rig, rig.unit->TcpAddress(), false);
    // Values a shifted row could not show by chance.
    rig.unit->SetValue("edef", "Row of its own");
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    ASSERT_EQ(w.Link().Mode(), LinkModeEthernet);
    ASSERT_NE(w.SimplePage(), nullptr);
    const int mode = w.Unit().demodMode.load();
    // Every reply in time: each row shows the unit's own value.
    const std::map<std::string, std::string> reference = ShownRows(w.Unit(), *w.SimplePage(), mode);
    ASSERT_GT(reference.size(), 5u);
    ASSERT_TRUE(reference.count("edef"));
    EXPECT_EQ(reference.at("edef").rfind("Row of its own#", 0), 0u) << reference.at("edef");

    // The unit answers `r1loc` 2 s late, beyond the 1.5 s receive time-out,
    // while the program's next request is already on its way.
    const uint64_t applied = rig.unit->Counters().faultsApplied;
    rig.unit->SetFault(sim::Fault::SlowReply, 1, 2000, "1loc");
    w.ReadUnitConfig(true);
    EXPECT_EQ(rig.unit->Counters().faultsApplied, applied + 1) << "no late reply happened";
    ASSERT_EQ(w.Unit().demodMode.load(), mode);

    const std::map<std::string, std::string> after = ShownRows(w.Unit(), *w.SimplePage(), mode);
    ASSERT_EQ(after.size(), reference.size());
    for (const auto& [code, value] : after) {
        // Each row shows its own value; the late row may show nothing or keep its old value.
        const bool own = value == reference.at(code);
        const bool unknown = value.empty() || value.rfind("|", 0) == 0;
        EXPECT_TRUE(own || unknown) << code << " shows " << value << " instead of " << reference.at(code);
    }
}

// RS232 to Ethernet with the poll thread running: an exchange that reconnects
// the socket before the connect attempt starts (the poll thread's, or one made
// here when the poll thread has no reason to) must not leave the Connecting
// window waiting for a report that never comes.
TEST(MainSwitch, SerialToEthernetWithTheLinkAlreadyReconnectedEndsByItself) {
    RigOptions options;
    options.serial = true;
    options.tcp = true;
    options.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 150;
        s.ReadIntervalTimeout = 100;
        s.PollIntervalMs = 100;   // the fastest interval the program allows
        s.AppTitle = kDefaultAppTitle;
    };
    Rig rig(options);
    const std::string ip = rig.unit->TcpAddress();
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    ASSERT_EQ(w.Link().Mode(), LinkModeSerial);
    ASSERT_EQ(AppSettings.ConnectionType, 0);
    // The poll thread is at work on the serial link.
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, 1013) == kIconGreen; }));

    CFerritRemoteControl& link = w.Link();
    const uint64_t connectionsBefore = rig.unit->Counters().tcpConnections;
    bool exchangedFirst = false;
    link.SetConnectAttemptHook([&] {
        // Give the poll thread its chance to reconnect the socket first.
        const uint64_t end = TickMs() + 1500;
        while (rig.unit->Counters().tcpConnections == connectionsBefore && TickMs() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!link.HasSocket()) {
            // It had none to make: an exchange made now gets there first instead.
            LinkGuard guard(link.LinkMutex());
            std::string data;
            TransactLocked(link, "\x02" "0001rgudm;;", nullptr, &data);
        }
        exchangedFirst = link.HasSocket();
    });
    // A Connecting window left waiting is closed after a long while, so that
    // the test fails rather than hangs.
    bool closedByTest = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            closedByTest = true;
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        }
    });
    guard.start(15000);

    rig.unit->ClearRequests();
    rig.prompts.messages.clear();
    Ctl<QRadioButton>(&w, 1006)->click();
    ASSERT_TRUE(Ctl<CIpAddressCtrl>(&w, 1059)->SetText(ip));
    Ctl<QPushButton>(&w, 1002)->click();   // returns when the Connecting window ends
    guard.stop();
    link.SetConnectAttemptHook(nullptr);

    EXPECT_TRUE(exchangedFirst) << "the race the test is about did not happen";
    EXPECT_FALSE(closedByTest) << "the Connecting window did not end by itself";
    EXPECT_TRUE(w.UnitConnected());
    EXPECT_EQ(link.Mode(), LinkModeEthernet);
    EXPECT_EQ(AppSettings.ConnectionType, 1);
    EXPECT_EQ(AppSettings.LastIpAddress.value_or(""), ip);
    // The address probe and the table read went over the new link.
    EXPECT_FALSE(rig.RequestsStarting("rgadd;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("rdlas;;").empty());
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Connected");
    EXPECT_EQ(LampIcon(&w, 1058), kIconGreen);
    EXPECT_TRUE(rig.Texts().empty()) << rig.Texts().front();
}
