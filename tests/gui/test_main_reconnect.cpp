// A serial unit taken away and brought back at the same ports/COM1 link while
// the desktop program runs: the window shows the loss, the link opens the port
// again by itself, the window reads the unit as after a Connect and polling
// goes on; what the operator typed and has not sent stays in its box.
#include "gui/test_main_support.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/settings.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/codec.h"

using namespace guitest;

namespace {

constexpr int kFrequencyEdit = 1200;   // input frequency (MHz), narrowband
constexpr int kServiceEdit = 1216;     // service name
constexpr int kApplyButton = 1044;

// A new unit on a new pseudo-terminal at the same ports/COM1 link.
std::unique_ptr<sim::SimUnit> PlugInUnit(const std::string& programFolder, int address = 1) {
    sim::SimOptions so;
    so.ptyLinkPath = programFolder + "/ports/COM1";
    so.address = address;
    so.restartMs = 0;
    so.drift = false;
    auto unit = std::make_unique<sim::SimUnit>(so);
    std::string error;
    EXPECT_TRUE(unit->Start(&error)) << error;
    return unit;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(MainReconnect, SerialUnitUnpluggedAndPluggedBackIsReadAgainAndKeepsTheOperatorsEdit) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, 1013) == kIconGreen; }));
    CSimpleDemodDialog* page = w.SimplePage();

    // The operator types a service name and does not apply it yet.
    Ctl<QLineEdit>(page, kServiceEdit)->setText("Harbour cam");

    // Unplugged: the pseudo-terminal and its link are gone.
    rig.unit->Stop();
    rig.unit.reset();
    ASSERT_TRUE(SpinUntil([&] { return !w.UnitConnected(); })) << "the loss was not shown";
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Not connected");
    EXPECT_EQ(LampIcon(&w, 1058), kIconRed);
    for (int lamp : {1013, 1014, 1015}) EXPECT_EQ(LampIcon(&w, lamp), kIconGrey) << lamp;

    // Plugged back, a unit whose frequency and slot differ from before.
    rig.unit = PlugInUnit(rig.folder.path);
    rig.Tell("0001wdloa;3;");
    rig.unit->SetValue("1ipf", "1.345600");
    rig.unit->ClearRequests();

    ASSERT_TRUE(SpinUntil([&] { return w.UnitConnected(); })) << "the unit was not picked up again";
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Connected");
    EXPECT_EQ(LampIcon(&w, 1058), kIconGreen);
    // Read as after a Connect: address, slot, mode, then the tables.
    ASSERT_TRUE(SpinUntil([&] { return page->GetText(kFrequencyEdit) == GhzTextToMhz("1.345600"); }))
        << "the tables were not read again: " << page->GetText(kFrequencyEdit);
    EXPECT_FALSE(rig.RequestsStarting("rgadd;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("rdlas;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("rgudm;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("redef;;").empty());
    // The unit's service name was read, but the operator's unsent text stays.
    EXPECT_EQ(page->GetText(kServiceEdit), "Harbour cam");
    // Polling goes on: the lamps come back and the SNR is read cycle after cycle.
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, 1013) == kIconGreen; }));
    ASSERT_TRUE(SpinUntil([&] { return rig.RequestsStarting("r1snr;;").size() >= 3; })) << "polling did not resume";

    // The transaction log shows the port given up and opened again.
    std::string log;
    ASSERT_TRUE(ReadWholeFile(LogFilePath(rig.folder.path), log, SIZE_MAX));
    EXPECT_EQ(Occurrences(log, "COM1: device gone, port closed\r\n"), 1u);
    EXPECT_GE(Occurrences(log, "Opening COM1\r\n"), 2u);

    // Apply then sends what the operator typed, and only that.
    rig.unit->ClearRequests();
    Ctl<QPushButton>(page, kApplyButton)->click();
    EXPECT_EQ(Writes(*rig.unit), (std::vector<std::string>{"wedef;Harbour cam;"}));
    EXPECT_EQ(rig.unit->Value("edef"), "Harbour cam");
}

// Another unit comes at the same link, at address 7: while none answers the
// pages show no values; the new one is found by the any-unit probe, the
// operator is told it is another unit before anything is sent, and its
// settings replace everything on the pages, the unsent edit included.
TEST(MainReconnect, AnotherUnitAtAnotherAddressIsFoundSaidAndReadAfresh) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    CSimpleDemodDialog* page = w.SimplePage();
    ASSERT_FALSE(page->GetText(kFrequencyEdit).empty());
    Ctl<QLineEdit>(page, kServiceEdit)->setText("Harbour cam");

    rig.unit->Stop();
    rig.unit.reset();
    ASSERT_TRUE(SpinUntil([&] { return !w.UnitConnected(); }));
    EXPECT_EQ(page->GetText(kFrequencyEdit), "") << "the old unit's value is still shown";
    EXPECT_EQ(page->GetText(kServiceEdit), "Harbour cam");

    rig.unit = PlugInUnit(rig.folder.path, 7);
    rig.unit->SetValue("gser", "830-99999");
    rig.unit->SetValue("1ipf", "1.345600");
    rig.unit->SetValue("edef", "New unit");
    rig.unit->ClearRequests();
    ASSERT_TRUE(SpinUntil([&] { return w.UnitConnected(); })) << "the unit at address 7 was not found";
    ASSERT_TRUE(SpinUntil([&] { return page->GetText(kFrequencyEdit) == GhzTextToMhz("1.345600"); }));
    EXPECT_EQ(page->GetText(kServiceEdit), "New unit");
    const std::vector<std::string> said = rig.Texts();
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.back().find("Another unit answers"), std::string::npos) << said.back();
    EXPECT_NE(said.back().find("830-99999"), std::string::npos) << said.back();
    EXPECT_TRUE(Writes(*rig.unit).empty());
    EXPECT_FALSE(rig.RequestsStarting("r1snr;;").empty()) << "not polled at its address";
}
