// Slot tabs, the demodulator mode, Apply and configuration files, driven
// through the real windows against the simulated unit.
#include "gui/test_main_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <fstream>

#include "ui/CPleaseWaitDialog.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/codec.h"
#include "params/param_table.h"

using namespace guitest;

TEST(MainSlots, ATabChangeStoresTheOldSlotAndLoadsTheNewOne) {
    Rig rig(Quiet());
    rig.Tell("0001wdloa;2;");
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_EQ(w.CurrentConfig(), 2);
    rig.unit->ClearRequests();
    rig.ClearWaits();

    auto* tabs = Ctl<QTabBar>(&w, 1000);
    tabs->setCurrentIndex(4);   // as a click on "Config 5"

    const std::vector<std::string> writes = Writes(*rig.unit);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], "wdsto;2;");
    EXPECT_EQ(writes[1], "wdloa;5;");
    ASSERT_FALSE(rig.Waits().empty());
    EXPECT_EQ(rig.Waits()[0], 1000u);
    // Read back: the unit reports slot 5, which is selected and highlighted.
    EXPECT_FALSE(rig.RequestsStarting("rdlas;;").empty());
    EXPECT_EQ(w.CurrentConfig(), 5);
    EXPECT_EQ(tabs->currentIndex(), 4);
    EXPECT_TRUE(tabs->tabData(4).toBool());
    EXPECT_FALSE(tabs->tabData(1).toBool());
    EXPECT_EQ(rig.unit->LastLoadedSlot(), 5);
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(MainSlots, ARefusedStoreKeepsTheTabWhereItWas) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    auto* tabs = Ctl<QTabBar>(&w, 1000);
    const int before = tabs->currentIndex();
    rig.unit->SetFault(sim::Fault::Silence);
    tabs->setCurrentIndex(6);
    rig.unit->ClearFault();
    EXPECT_EQ(tabs->currentIndex(), before);
    ASSERT_FALSE(rig.prompts.messages.empty());
    EXPECT_EQ(rig.prompts.messages.back().text, "Unable to save config " + std::to_string(w.CurrentConfig()));
    EXPECT_EQ(rig.prompts.messages.back().caption, "Error");
    EXPECT_TRUE(rig.RequestsStarting("wdloa").empty());
}

TEST(MainSlots, AModeSwitchWaitsTwiceAndShowsTheOtherColumn) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    ASSERT_EQ(rig.unit->Mode(), 0);
    ASSERT_TRUE(page->Control(1200)->isVisibleTo(page));
    rig.ClearWaits();
    rig.unit->ClearRequests();

    page->OnModeRadio(1006);

    EXPECT_EQ(rig.unit->Mode(), 1);
    ASSERT_FALSE(rig.RequestsStarting("wgudm;1;").empty());
    EXPECT_EQ(rig.Waits(), (std::vector<uint32_t>{7000, 7000}));
    EXPECT_TRUE(page->IsChecked(1006));
    EXPECT_FALSE(page->IsChecked(1005));
    EXPECT_TRUE(page->Control(1250)->isVisibleTo(page));
    EXPECT_FALSE(page->Control(1200)->isVisibleTo(page));
    EXPECT_EQ(page->GetText(1250), GhzTextToMhz(rig.unit->Value("1ipf")));
    EXPECT_EQ(w.Unit().demodMode.load(), 1);
    // The "Please wait" window lived only for the switch.
    EXPECT_TRUE(w.findChildren<CPleaseWaitDialog*>().isEmpty());
    // The same radio again asks for nothing.
    rig.unit->ClearRequests();
    page->OnModeRadio(1006);
    EXPECT_TRUE(rig.RequestsStarting("wgudm").empty());
}

TEST(MainSlots, ApplySendsOnlyTheChangedRows) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    rig.unit->ClearRequests();
    Ctl<QPushButton>(page, 1044)->click();
    EXPECT_TRUE(Writes(*rig.unit).empty()) << "nothing changed, nothing written";

    Ctl<QLineEdit>(page, 1200)->setText("1234.5");
    Ctl<QLineEdit>(page, 1216)->setText("Harbour cam");
    rig.unit->ClearRequests();
    Ctl<QPushButton>(page, 1044)->click();

    EXPECT_EQ(Writes(*rig.unit), (std::vector<std::string>{"w1ipf;1.234500;", "wedef;Harbour cam;"}));
    EXPECT_EQ(rig.unit->Value("1ipf"), "1.234500");
    EXPECT_EQ(rig.unit->Value("edef"), "Harbour cam");
    // Read back into the page.
    EXPECT_EQ(page->GetText(1200), "1234.500");
    EXPECT_TRUE(Ctl<QPushButton>(page, 1044)->isEnabled());
    EXPECT_TRUE(Ctl<QPushButton>(&w, 1002)->isEnabled());
}

TEST(MainSlots, AConfigFileIsSavedAndLoadedBack) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    const std::string path = rig.folder.File("unit.cfg");
    const std::string service = rig.unit->Value("edef");

    rig.prompts.fileAnswers.push_back(path);
    Ctl<QPushButton>(page, 1003)->click();
    ASSERT_EQ(rig.prompts.fileRequests.size(), 1u);
    const FileDialogRequest& ask = rig.prompts.fileRequests[0];
    EXPECT_TRUE(ask.save);
    EXPECT_EQ(ask.title, "Select a file to save to");
    EXPECT_EQ(ask.filter, "Config files (*.cfg)|*.cfg|All files (*.*)|*.*||");
    EXPECT_EQ(ask.defaultExtension, "cfg");
    EXPECT_EQ(ask.initialName, "*.cfg");
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    ASSERT_GT(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x02\x00\x00\x00", 4));   // two records
    EXPECT_EQ(bytes.substr(4, 3), "DEM");
    EXPECT_EQ(bytes.substr(bytes.size() - 7, 3), "///");
    EXPECT_EQ(rig.unit->Mode(), 0);   // back in the mode it started in

    // The unit changes; loading the file brings the saved values back.
    rig.Tell("0001wedef;Something else;");
    ASSERT_EQ(rig.unit->Value("edef"), "Something else");
    rig.prompts.fileAnswers.push_back(path);
    Ctl<QPushButton>(page, 1004)->click();
    ASSERT_EQ(rig.prompts.fileRequests.size(), 2u);
    EXPECT_FALSE(rig.prompts.fileRequests[1].save);
    EXPECT_EQ(rig.prompts.fileRequests[1].title, "Select a file to load from");
    EXPECT_EQ(rig.unit->Value("edef"), service);
    EXPECT_EQ(page->GetText(1216), service);
    EXPECT_TRUE(rig.Texts().empty());

    // A damaged file is refused before anything is sent.
    bytes[10] = static_cast<char>(bytes[10] ^ 0x01);
    std::ofstream(path, std::ios::binary) << bytes;
    rig.unit->ClearRequests();
    rig.prompts.fileAnswers.push_back(path);
    Ctl<QPushButton>(page, 1004)->click();
    ASSERT_FALSE(rig.prompts.messages.empty());
    EXPECT_EQ(rig.prompts.messages.back().text, "Invalid checksum in file");
    EXPECT_TRUE(Writes(*rig.unit).empty());
}

TEST(MainSlots, TheFullPageShowsBothColumnsAndAppliesTheLiveOne) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    CSimpleDemodDialog* page = w.SimplePage();
    Ctl<QPushButton>(page, 1002)->click();
    CDemodDialog* full = page->FullPage();
    ASSERT_NE(full, nullptr);
    Shot(full, "full_page");
    EXPECT_EQ(full->windowTitle().toStdString(), "Advanced options");
    EXPECT_EQ(full->GetText(1200), page->GetText(1200));
    EXPECT_TRUE(full->Control(1200)->isEnabled());
    EXPECT_FALSE(full->Control(1250)->isEnabled());
    EXPECT_TRUE(full->IsChecked(1005));
    // "Advanced" again only brings the open page forward.
    Ctl<QPushButton>(page, 1002)->click();
    EXPECT_EQ(page->FullPage(), full);

    // Apply on the full page: only the live column's change goes out.
    Ctl<QLineEdit>(full, 1216)->setText("From the full page");
    Ctl<QLineEdit>(full, 1266)->setText("Never sent");
    rig.unit->ClearRequests();
    Ctl<QPushButton>(full, 1003)->click();
    EXPECT_EQ(Writes(*rig.unit), (std::vector<std::string>{"wedef;From the full page;"}));
    EXPECT_EQ(page->GetText(1216), "From the full page");

    // Chaining input: gmod 8, and the pair shows what the unit reports.
    rig.unit->ClearRequests();
    Ctl<QRadioButton>(full, 1049)->click();
    EXPECT_EQ(Writes(*rig.unit), (std::vector<std::string>{"wgmod;8;"}));
    EXPECT_EQ(full->IsChecked(1049), rig.unit->Value("gmod") != "0");
    EXPECT_EQ(full->IsChecked(1048), rig.unit->Value("gmod") == "0");

    // Closing the page tells the simple page, and a fresh one opens next time.
    full->close();
    QApplication::processEvents();
    EXPECT_EQ(page->FullPage(), nullptr);
}
