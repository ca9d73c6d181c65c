// Start-up of the desktop program: the COM port scan, reading the unit, the
// first-run settings and their survival over a restart.
#include "gui/test_main_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QPushButton>
#include <QTabBar>
#include <QImage>
#include <QKeyEvent>

#include "app/ui/CAboutDlg.h"
#include "link/ui/CConnectDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/codec.h"
#include "params/ui/CStatusGraphs.h"

using namespace guitest;

TEST(MainStartup, ScanFindsTheUnitOnComOneAndReadsSlotModeAndTables) {
    Rig rig;
    rig.Tell("0001wdloa;3;");
    rig.unit->ClearRequests();
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    w.show();
    SpinUntil([&] { return w.SimplePage()->Graphs()->Level(0) != 0.0f; }, 5000);
    Shot(&w, "startup_connected");

    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_TRUE(w.UnitConnected());
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Connected");
    EXPECT_EQ(LampIcon(&w, 1058), kIconGreen);
    EXPECT_EQ(AppSettings.LastComPort, 0);
    EXPECT_EQ(Ctl<QComboBox>(&w, 1100)->currentText().toStdString(), "COM1");
    // The probe, then slot and mode, then the tables.
    std::vector<std::string> req = rig.unit->Requests();
    ASSERT_GE(req.size(), 3u);
    EXPECT_EQ(req[0].substr(1, 11), "9999rgadd;;");
    EXPECT_FALSE(rig.RequestsStarting("rdlas;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("rgudm;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("r1ipf;;").empty());
    EXPECT_FALSE(rig.RequestsStarting("redef;;").empty());
    // Slot 3 is the selected and highlighted tab.
    auto* tabs = Ctl<QTabBar>(&w, 1000);
    EXPECT_EQ(tabs->count(), 8);
    EXPECT_EQ(tabs->tabText(7).toStdString(), "Config 8");
    EXPECT_EQ(tabs->currentIndex(), 2);
    EXPECT_TRUE(tabs->tabData(2).toBool());
    EXPECT_EQ(w.CurrentConfig(), 3);
    // The narrowband column shows the unit's frequency in MHz.
    CSimpleDemodDialog* page = w.SimplePage();
    const std::string ghz = rig.unit->Value("1ipf");
    EXPECT_EQ(page->GetText(1200), GhzTextToMhz(ghz));
    EXPECT_TRUE(page->IsChecked(1005));
    EXPECT_FALSE(page->IsChecked(1006));
    EXPECT_FALSE(page->Control(1250)->isVisibleTo(page));
    EXPECT_TRUE(page->Control(1200)->isVisibleTo(page));
    EXPECT_EQ(w.windowTitle().toStdString(), "Tavrin receiver control");
}

TEST(MainStartup, NoPortAtAllSaysUnableToConnectGreysTheLampsAndTurnsPollingOff) {
    RigOptions options;
    options.startUnit = false;
    options.settings = nullptr;   // first run: no settings file
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();

    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_EQ(rig.prompts.messages[0].text, "Unable to connect");
    EXPECT_EQ(rig.prompts.messages[0].caption, "Alert");
    EXPECT_EQ(rig.prompts.messages[0].icon, PromptIcon::Information);
    EXPECT_EQ(Ctl<QComboBox>(&w, 1100)->count(), 0);
    EXPECT_FALSE(w.UnitConnected());
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Not connected");
    EXPECT_EQ(Ctl<QLabel>(&w, 1016)->text().toStdString(), "Polling disabled");
    for (int lamp : {1013, 1014, 1015}) EXPECT_EQ(LampIcon(&w, lamp), kIconGrey) << lamp;
    EXPECT_EQ(LampIcon(&w, 1058), kIconRed);
    EXPECT_EQ(AppSettings.PollingEnabled, 0);
    // Operations that need the unit say so and send nothing.
    w.SimplePage()->OnApply();
    ASSERT_EQ(rig.prompts.messages.size(), 2u);
    EXPECT_EQ(rig.prompts.messages[1].text, "No connection currently");
    EXPECT_EQ(rig.prompts.messages[1].caption, "Error");
    EXPECT_EQ(rig.prompts.messages[1].icon, PromptIcon::Warning);
    // Connect with no port chosen.
    Ctl<QPushButton>(&w, 1002)->click();
    EXPECT_EQ(rig.prompts.messages.back().text, "No serial port selected");

    rig.Exit();
    // First-run defaults were written, with polling off and no port.
    AppSettingsData saved;
    ASSERT_TRUE(ReadSettingsFile(SettingsFilePath(rig.folder.path), saved));
    EXPECT_EQ(saved.PollingEnabled, 0);
    EXPECT_EQ(saved.LastComPort, -1);
    EXPECT_EQ(saved.AppTitle.value_or(""), "Tavrin receiver control");
    EXPECT_EQ(saved.LogoWidth, 70);
    EXPECT_EQ(saved.LogoHeight, 70);
    EXPECT_EQ(saved.BaudRate, 9600);
    EXPECT_EQ(saved.ReadTotalTimeoutConstant, 2500);
    EXPECT_EQ(saved.PollIntervalMs, 2000);
    EXPECT_EQ(saved.ConnectionType, 0);
}

TEST(MainStartup, SettingsSurviveARestartInTheSameProgramFolder) {
    Rig rig;
    {
        CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
        ASSERT_TRUE(w.UnitConnected());
        AppSettings.AppTitle = "Ground station 4";
        ApplyPollingOptions(w, 750, 2);
        AppSettings.LogoWidth = 40;
        w.RunCommand(ID_OPTIONS_POLLING);   // polling off
        EXPECT_EQ(Ctl<QLabel>(&w, 1016)->text().toStdString(), "Polling disabled");
        rig.Exit();
    }
    AppSettings = AppSettingsData{};   // nothing carried over in memory
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    EXPECT_EQ(w.windowTitle().toStdString(), "Ground station 4");
    EXPECT_EQ(AppSettings.PollIntervalMs, 750);
    EXPECT_EQ(AppSettings.PollItemFlags[2], 0);
    EXPECT_EQ(AppSettings.PollItemFlags[3], 1);
    EXPECT_EQ(AppSettings.LogoWidth, 40);
    EXPECT_EQ(AppSettings.LastComPort, 0);
    EXPECT_EQ(AppSettings.PollingEnabled, 0);
    EXPECT_EQ(Ctl<QLabel>(&w, 1016)->text().toStdString(), "Polling disabled");
    EXPECT_EQ(w.CommandAction(ID_OPTIONS_POLLING)->text().toStdString(), "Enable &polling");
    EXPECT_TRUE(w.CommandAction(ID_ENABLE_POLLING)->isVisible());
    EXPECT_FALSE(w.CommandAction(ID_DISABLE_POLLING)->isVisible());
    EXPECT_TRUE(w.UnitConnected());
}

TEST(MainStartup, ALastPortThatHasGoneLeadsStraightToTheFullScan) {
    RigOptions options;
    options.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 150;
        s.LastComPort = 6;   // COM7: not present
        s.AppTitle = kDefaultAppTitle;
    };
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    EXPECT_TRUE(w.UnitConnected());
    EXPECT_EQ(AppSettings.LastComPort, 0);
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(MainStartup, EnterNeverClosesTheWindowEscapeClosesItAndSettingsAreSaved) {
    Rig rig;
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    w.show();
    KeyClick(&w, Qt::Key_Return);
    KeyClick(Ctl<QLineEdit>(w.SimplePage(), 1200), Qt::Key_Enter);
    EXPECT_TRUE(w.isVisible());
    ApplyPollingOptions(w, 1234);
    KeyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    rig.Exit();
    AppSettingsData saved;
    ASSERT_TRUE(ReadSettingsFile(SettingsFilePath(rig.folder.path), saved));
    EXPECT_EQ(saved.PollIntervalMs, 1234);
    EXPECT_EQ(saved.LastComPort, 0);
}

TEST(MainStartup, ABitmapLogoIsShownCentredAndAnythingElseIsHidden) {
    RigOptions options;
    Folder images;
    const std::string bmp = images.File("logo.bmp");
    const std::string png = images.File("logo.png");
    QImage picture(90, 60, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    ASSERT_TRUE(picture.save(QString::fromStdString(bmp), "BMP"));
    ASSERT_TRUE(picture.save(QString::fromStdString(png), "PNG"));
    options.settings = [bmp](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 150;
        s.AppTitle = kDefaultAppTitle;
        s.LogoFile = bmp;
        s.LogoWidth = 50;
        s.LogoHeight = 5000;   // larger than the area: cut to it
    };
    Rig rig(options);
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    QLabel* logo = w.LogoControl();
    const QRect area = w.LogoArea();
    EXPECT_FALSE(logo->isHidden());
    EXPECT_EQ(AppSettings.LogoHeight, area.height());
    EXPECT_EQ(logo->geometry(), QRect(area.width() / 2 + area.left() - 25,
                                      area.height() / 2 + area.top() - area.height() / 2, 50, area.height()));
    ASSERT_FALSE(logo->pixmap().isNull());
    EXPECT_EQ(logo->pixmap().size(), QSize(70, 70));

    AppSettings.LogoFile = png;   // not a bitmap
    w.LoadLogo();
    EXPECT_TRUE(logo->isHidden());
    AppSettings.LogoFile = bmp;
    w.LoadLogo();
    EXPECT_FALSE(logo->isHidden());
}

TEST(MainStartup, TheAboutBoxShowsTitleAndVersion) {
    Rig rig;
    rig.Start();
    AppSettings.AppTitle = "Gate receiver";
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle().toStdString(), "About receiver control");
    EXPECT_EQ(about.TitleLabel()->text().toStdString(), "Gate receiver v2.3.5");
    EXPECT_FALSE(about.IconLabel()->pixmap().isNull());
}

TEST(MainStartup, CancelDuringTheStartupScanStopsItWithoutAMessage) {
    Rig rig;
    bool clicked = false;
    // Runs at the scan's first look at the Connecting window.
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* connecting = qobject_cast<CConnectDialog*>(top);
            if (connecting && connecting->isVisible()) {
                EXPECT_EQ(connecting->windowTitle().toStdString(), "Connecting");
                EXPECT_EQ(connecting->TextLabel()->text().toStdString(), "Attempting to connect...");
                connecting->CancelButton()->click();
                clicked = true;
            }
        }
    });
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(clicked);
    EXPECT_FALSE(w.UnitConnected());
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_TRUE(rig.unit->Requests().empty());
    EXPECT_EQ(Ctl<QLabel>(&w, 1045)->text().toStdString(), "Not connected");
    // Connect still works afterwards, on the port the operator picks.
    Ctl<QComboBox>(&w, 1100)->setCurrentIndex(0);
    Ctl<QPushButton>(&w, 1002)->click();
    EXPECT_TRUE(w.UnitConnected());
    EXPECT_EQ(AppSettings.LastComPort, 0);
    EXPECT_EQ(LampIcon(&w, 1058), kIconGreen);
}
