// The main window's commands against the simulated unit on a pseudo-terminal:
// polling toggle, engineering window, unit address, key write, restore
// defaults and configuration sets.
#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolBar>
#include <QComboBox>
#include <QImage>

#include "ui/CPleaseWaitDialog.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "ui/program_icon.h"
#include "link/frame.h"
#include "app/ui/CEngineeringDialog.h"
#include "pages/config_file.h"
#include "pages/ui/CAdvTemplateDialog.h"
#include "pages/ui/CAdvancedDialog.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "test_dialogs_support.h"
#include "support/frame_text.h"

using namespace dlgtest;

namespace {

using testsupport::Frame;

std::string FrameTextForTest(const std::string& f) { return f.size() > 3 ? f.substr(1, f.size() - 3) : f; }

// The unit on COM1 and the main window connected to it at start-up.
class MainRig {
public:
    explicit MainRig(bool k840 = false, uint32_t pollIntervalMs = 600000) {
        std::filesystem::create_directories(folder.path + "/ports");
        SetProgramFolder(folder.path);
        SetWaiter([this](uint32_t ms) { OnWait(ms); });
        AppSettings = AppSettingsData{};
        AppSettings.LastComPort = 0;
        AppSettings.PollIntervalMs = int32_t(pollIntervalMs);
        AppSettings.ReadTotalTimeoutConstant = 300;
        sim::SimOptions options;
        options.ptyLinkPath = folder.path + "/ports/COM1";
        options.k840 = k840;
        options.restartMs = 0;
        options.drift = false;
        unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        EXPECT_TRUE(unit->Start(&error)) << error;
        window = std::make_unique<CTavrin_rx_ctrl_v2Dlg>();
        window->Initialise();
        window->show();
        EXPECT_TRUE(window->UnitConnected());
        EXPECT_TRUE(prompts.prompts.messages.empty());
        Forget();
    }
    ~MainRig() {
        window.reset();
        unit->Stop();
        SetWaiter(nullptr);
    }
    void Forget() {
        unit->ClearRequests();
        waits.clear();
        prompts.prompts.messages.clear();
        progress.clear();
    }
    // Frames of the unit's request log that write something (the poll thread
    // only reads).
    std::vector<std::string> Writes() const {
        std::vector<std::string> out;
        for (const std::string& f : unit->Requests())
            if (f.size() > 5 && f[5] == 'w') out.push_back(f);
        return out;
    }
    std::string LogText() const {
        std::string text;
        ReadWholeFile(folder.path + "/tavrin_rx_ctrl_v2.3.5.log", text, SIZE_MAX);  // the log has no bound
        return text;
    }

    TempFolder folder;
    PromptRecorder prompts;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<CTavrin_rx_ctrl_v2Dlg> window;
    std::vector<uint32_t> waits;
    std::vector<int> progress;       // values the please-wait bar went through
    int progressMaximum = -1;

private:
    // During a wait the please-wait window (if any) is watched.
    void OnWait(uint32_t ms) {
        waits.push_back(ms);
        if (!window) return;
        for (CPleaseWaitDialog* wait : window->findChildren<CPleaseWaitDialog*>()) {
            QProgressBar* bar = wait->ProgressBar();
            if (bar->property("watched").toBool()) continue;
            bar->setProperty("watched", true);
            progressMaximum = bar->maximum();
            QObject::connect(bar, &QProgressBar::valueChanged, [this, bar](int v) {
                progress.push_back(v);
                progressMaximum = bar->maximum();
            });
        }
    }
};

TEST(MainCommands, CtrlPTwiceRestoresMenuLabelAndToolbar) {
    MainRig rig;
    CTavrin_rx_ctrl_v2Dlg& w = *rig.window;
    QAction* menu = w.CommandAction(ID_OPTIONS_POLLING);
    QAction* enable = w.CommandAction(ID_ENABLE_POLLING);
    QAction* disable = w.CommandAction(ID_DISABLE_POLLING);
    ASSERT_TRUE(menu && enable && disable);
    EXPECT_EQ(menu->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    auto* label = Control<QLabel>(&w, 1016);
    auto state = [&] {
        return menu->text().toStdString() + "|" + label->text().toStdString() + "|" +
               (enable->isVisible() ? "E" : "-") + (disable->isVisible() ? "D" : "-");
    };
    EXPECT_EQ(state(), "Disable &polling|Polling enabled|-D");
    GrabIfAsked(w.ToolBar(), "toolbar_polling_on");
    GrabIfAsked(&w, "main_window");
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &w; }));
    TypeControlKey(&w, Qt::Key_P);
    EXPECT_EQ(AppSettings.PollingEnabled, 0);
    EXPECT_EQ(state(), "Enable &polling|Polling disabled|E-");
    TypeControlKey(&w, Qt::Key_P);
    EXPECT_EQ(AppSettings.PollingEnabled, 1);
    EXPECT_EQ(state(), "Disable &polling|Polling enabled|-D");
    // The toolbar button of the moment does the same.
    disable->trigger();
    EXPECT_EQ(state(), "Enable &polling|Polling disabled|E-");
    EXPECT_TRUE(rig.Writes().empty());
}

TEST(MainCommands, EngineeringOpensOnceAndAddressReachesWindowAndPollThread) {
    MainRig rig(false, 20);
    CTavrin_rx_ctrl_v2Dlg& w = *rig.window;
    w.RunCommand(ID_OPTIONS_ENGINEERING);
    auto* engineering = qobject_cast<CEngineeringDialog*>(w.EngineeringWindow());
    ASSERT_NE(engineering, nullptr);
    w.RunCommand(ID_OPTIONS_ENGINEERING);
    EXPECT_EQ(w.EngineeringWindow(), engineering);
    int open = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        open += qobject_cast<CEngineeringDialog*>(top) && top->isVisible();
    EXPECT_EQ(open, 1);

    engineering->tabs()->setCurrentIndex(1);
    CAdvancedDialog* advanced = engineering->advancedPage();
    Control<QLineEdit>(advanced->generalPage(), 1200)->setText("12");
    advanced->OnApply();

    EXPECT_EQ(w.UnitAddress(), 12);
    EXPECT_EQ(w.Unit().unitAddress.load(), 12);
    ASSERT_EQ(rig.Writes(), std::vector<std::string>{Frame("0001wgadd;0012;")});
    EXPECT_EQ(rig.unit->Address(), 12);
    // The poll thread addresses the unit by its new address from now on.
    EXPECT_TRUE(WaitUntil([&] {
        for (const std::string& f : rig.unit->Requests())
            if (f.compare(0, 6, "\x02" "0012r") == 0) return true;
        return false;
    }));

    engineering->close();
    WaitUntil([&] { return w.EngineeringWindow() == nullptr; });
    EXPECT_EQ(w.EngineeringWindow(), nullptr);
}

TEST(MainCommands, KeyWithBadDigitIsRefusedAndAGoodKeyIsMaskedInTheLog) {
    MainRig rig;
    const QString lower = QStringLiteral("a1b2c3d4e5f60718293a4b5c6d7e8f90");
    const QString upper = QStringLiteral("0f1e2d3c4b5a69788796a5b4c3d2e1f0");
    OnNextModal([&](QWidget* modal) {
        Control<QComboBox>(modal, 1101)->setCurrentIndex(2);
        Control<QLineEdit>(modal, 1200)->setText(lower);
        Control<QLineEdit>(modal, 1201)->setText(upper.left(31) + "g");
        Control<QPushButton>(modal, 1)->click();
        EXPECT_TRUE(modal->isVisible());
        Control<QPushButton>(modal, 2)->click();
    });
    rig.window->RunCommand(ID_WRITE_KEY);
    EXPECT_EQ(rig.prompts.Texts(), std::vector<std::string>{"Invalid characters in hex field"});
    EXPECT_TRUE(rig.Writes().empty());

    OnNextModal([&](QWidget* modal) {
        Control<QComboBox>(modal, 1101)->setCurrentIndex(2);
        Control<QLineEdit>(modal, 1200)->setText(lower);
        Control<QLineEdit>(modal, 1201)->setText(upper);
        Control<QPushButton>(modal, 1)->click();
    });
    rig.window->RunCommand(ID_WRITE_KEY);
    const std::vector<std::string> expected = {Frame("0001wzaes;" + lower.toStdString() + ";"),
                                               Frame("0001wza25;" + upper.toStdString() + ";")};
    EXPECT_EQ(rig.Writes(), expected);
    EXPECT_EQ(rig.unit->LastKey("zaes"), lower.toStdString());

    const std::string log = rig.LogText();
    EXPECT_NE(log.find("** ** **"), std::string::npos);
    EXPECT_NE(log.find("wzaes;"), std::string::npos);
    EXPECT_EQ(log.find(lower.left(6).toStdString()), std::string::npos);
    EXPECT_EQ(log.find(upper.left(6).toStdString()), std::string::npos);
    EXPECT_EQ(log.find("61 31 62 32"), std::string::npos);   // "a1b2" as a hex dump
}

TEST(MainCommands, KeyNeedsAConnection) {
    MainRig rig;
    // The unit goes away, so no poll cycle can report it alive again.
    rig.unit->Stop();
    rig.window->WindowEvents().LinkLost();
    // A poll exchange that ended just before the unit stopped may still report
    // it alive after the loss: the window counts as disconnected only once no
    // such report is left on its way.
    const auto steadyLoss = [&] {
        if (rig.window->UnitConnected()) return false;
        const uint64_t settled = TickMs() + 300;
        while (TickMs() < settled) QApplication::processEvents(QEventLoop::AllEvents, 20);
        return !rig.window->UnitConnected();
    };
    ASSERT_TRUE(WaitUntil(steadyLoss));
    // Such a report, taken for the unit coming back, re-reads it and says
    // that it could not ("Error 0x80000004 reading demod config"): only the
    // key command's answer is this test's.
    rig.prompts.prompts.messages.clear();
    rig.window->RunCommand(ID_WRITE_KEY);
    EXPECT_EQ(rig.prompts.Texts(), std::vector<std::string>{"No connection currently"});
}

TEST(MainCommands, RestoreDefaultsSendsEverySlotTwiceOnATwoModeUnit) {
    MainRig rig;
    const int first = rig.window->CurrentConfig();
    ASSERT_GE(first, 1);

    OnNextModal([](QWidget* modal) { Control<QPushButton>(modal, 2)->click(); });
    rig.window->RunCommand(ID_RESTORE_DEFAULTS);
    EXPECT_TRUE(rig.Writes().empty());
    EXPECT_TRUE(rig.waits.empty());

    OnNextModal([](QWidget* modal) {
        Control<QRadioButton>(modal, 1006)->click();
        Control<QPushButton>(modal, 1)->click();
    });
    rig.window->RunCommand(ID_RESTORE_DEFAULTS_DOWNCONVERTERS);

    std::vector<std::string> expected = {Frame("0001wddef;1;")};
    int prev = first;
    for (int pass = 0; pass < 2; ++pass) {
        for (int slot = 1; slot <= 8; ++slot) {
            expected.push_back(Frame("0001wdsto;" + std::to_string(prev) + ";"));
            expected.push_back(Frame("0001wdloa;" + std::to_string(slot) + ";"));
            expected.push_back(Frame("0001w1los;1;"));
            expected.push_back(Frame("0001w1dco;1.700;"));
            expected.push_back(Frame("0001w1ipf;1.395;"));
            prev = slot;
        }
    }
    expected.push_back(Frame("0001wdsto;8;"));
    expected.push_back(Frame("0001wdloa;1;"));
    EXPECT_EQ(rig.Writes(), expected);
    ASSERT_FALSE(rig.waits.empty());
    EXPECT_EQ(rig.waits[0], 7000u);
    EXPECT_EQ(std::count(rig.waits.begin(), rig.waits.end(), 1000u), 17);
    EXPECT_EQ(rig.window->CurrentConfig(), 1);
    // The mode is not changed between the passes: every slot of the unit's
    // mode holds the downconverter.
    for (int slot = 1; slot <= 8; ++slot)
        EXPECT_EQ(rig.unit->SlotValue(rig.unit->Mode(), slot, "1dco"), "1.700000") << slot;
}

TEST(MainCommands, ConfigSetSavedFromATwoModeUnitHolds16Records) {
    MainRig rig;
    const std::string path = rig.folder.File("set.cfg");
    rig.prompts.prompts.fileAnswers.push_back(path);
    Control<QPushButton>(rig.window.get(), 1041)->click();

    ASSERT_EQ(rig.prompts.prompts.fileRequests.size(), 1u);
    const FileDialogRequest& asked = rig.prompts.prompts.fileRequests[0];
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.title, "Select a file to save to");
    EXPECT_EQ(asked.filter, "Config files (*.cfg)|*.cfg|All files (*.*)|*.*||");
    EXPECT_EQ(rig.prompts.Texts(), std::vector<std::string>{"Config set saved"});

    std::string file;
    ASSERT_TRUE(ReadWholeFile(path, file));
    EXPECT_TRUE(ConfigFileChecksumOk(file));
    uint32_t count = 0;
    ASSERT_TRUE(ReadRecordCount(file, count));
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(rig.progressMaximum, 18);
    ASSERT_FALSE(rig.progress.empty());
    EXPECT_EQ(rig.progress.back(), 18);
    EXPECT_EQ(rig.Writes().back(), Frame("0001wdloa;1;"));
    EXPECT_EQ(rig.window->CurrentConfig(), 1);
    // Nothing of the please-wait window is left.
    EXPECT_TRUE(rig.window->findChildren<CPleaseWaitDialog*>().empty());
}

TEST(MainCommands, ConfigSetSavedFromAK840HoldsEightRecordsWithoutModeChanges) {
    MainRig rig(true);
    const std::string path = rig.folder.File("k840.cfg");
    rig.prompts.prompts.fileAnswers.push_back(path);
    rig.window->OnSaveConfigSet();
    EXPECT_EQ(rig.prompts.Texts(), std::vector<std::string>{"Config set saved"});
    std::string file;
    ASSERT_TRUE(ReadWholeFile(path, file));
    uint32_t count = 0;
    ASSERT_TRUE(ReadRecordCount(file, count));
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(rig.progressMaximum, 10);
    ASSERT_FALSE(rig.progress.empty());
    EXPECT_EQ(rig.progress.back(), 10);
    EXPECT_EQ(std::count(rig.waits.begin(), rig.waits.end(), 7000u), 0);
    for (const std::string& f : rig.Writes()) EXPECT_EQ(f.find("wgudm"), std::string::npos);
}

TEST(MainCommands, CancelledFileDialogSendsNothing) {
    MainRig rig;
    Control<QPushButton>(rig.window.get(), 1042)->click();
    Control<QPushButton>(rig.window.get(), 1041)->click();
    EXPECT_EQ(rig.prompts.prompts.fileRequests.size(), 2u);
    EXPECT_TRUE(rig.Writes().empty());
    EXPECT_TRUE(rig.prompts.prompts.messages.empty());
}

TEST(MainCommands, SixteenRecordSetLoadedIntoAK840SendsTheFirstEight) {
    MainRig rig(true);
    ASSERT_EQ(rig.window->Unit().modelFlag.load(), 1);
    // Eight records in mode 0, then eight in mode 1 that a K840 must never see.
    std::string image;
    BeginConfigFile(image, 16);
    for (int i = 0; i < 16; ++i) AppendConfigRecord(rig.window->Unit(), image, i % 8 + 1, i < 8 ? 0 : 1);
    FinishConfigFile(image);
    const std::string path = rig.folder.File("sixteen.cfg");
    ASSERT_TRUE(ReplaceFileAtomically(path, image));

    rig.prompts.prompts.fileAnswers.push_back(path);
    Control<QPushButton>(rig.window.get(), 1042)->click();
    EXPECT_EQ(rig.prompts.Texts(), std::vector<std::string>{"Config set loaded"});

    int loads = 0;
    for (const std::string& f : rig.Writes()) {
        EXPECT_EQ(f.find("wgudm"), std::string::npos) << FrameTextForTest(f);
        loads += f.find("wdloa;") != std::string::npos;
    }
    EXPECT_EQ(loads, 9);   // slots 1..8, then slot 1 at the end
    EXPECT_EQ(rig.progressMaximum, 9);
    EXPECT_EQ(std::count(rig.waits.begin(), rig.waits.end(), 7000u), 0);
}

TEST(MainCommands, TitleOfThirtyTwoCharactersBecomesTheCaption) {
    MainRig rig;
    AppSettings.AppTitle = "Old title";
    OnNextModal([](QWidget* modal) {
        QLineEdit* edit = Control<QLineEdit>(modal, 1036);
        EXPECT_EQ(edit->text(), "Old title");
        EXPECT_EQ(Control<QLabel>(modal, 1037)->text(), "Enter the new application title");
        edit->clear();
        for (QChar c : QString(33, u'T')) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &key);
        }
        Control<QPushButton>(modal, 1)->click();
    });
    rig.window->RunCommand(ID_SET_APP_TITLE);
    EXPECT_EQ(AppSettings.AppTitle, std::string(32, 'T'));
    EXPECT_EQ(rig.window->windowTitle(), QString(32, u'T'));

    OnNextModal([](QWidget* modal) {
        Control<QLineEdit>(modal, 1036)->setText("Not taken");
        Control<QPushButton>(modal, 2)->click();
    });
    rig.window->RunCommand(ID_SET_APP_TITLE);
    EXPECT_EQ(AppSettings.AppTitle, std::string(32, 'T'));
}

TEST(MainCommands, LogoSizeIsCutToTheAreaAndNeverBelowZero) {
    MainRig rig;
    const QRect area = rig.window->LogoArea();
    ASSERT_GT(area.width(), 0);
    QLabel* logo = rig.window->LogoControl();
    const bool hiddenBefore = logo->isHidden();
    OnNextModal([](QWidget* modal) {
        EXPECT_EQ(Control<QLineEdit>(modal, 1200)->text(), "70");
        Control<QLineEdit>(modal, 1200)->setText("5000");
        Control<QLineEdit>(modal, 1201)->setText("-3");
        Control<QPushButton>(modal, 1)->click();
    });
    rig.window->RunCommand(ID_SET_LOGO_SIZE);
    EXPECT_EQ(AppSettings.LogoHeight, area.height());
    EXPECT_EQ(AppSettings.LogoWidth, 0);
    EXPECT_EQ(logo->size(), QSize(0, area.height()));
    EXPECT_EQ(logo->x(), area.width() / 2 + area.left());
    EXPECT_EQ(logo->isHidden(), hiddenBefore);

    OnNextModal([](QWidget* modal) {
        Control<QLineEdit>(modal, 1200)->setText("10");
        Control<QPushButton>(modal, 2)->click();
    });
    rig.window->RunCommand(ID_SET_LOGO_SIZE);
    EXPECT_EQ(AppSettings.LogoHeight, area.height());
}

TEST(MainCommands, LogoFileThatIsNoBitmapHidesTheLogoAValidOneShowsIt) {
    MainRig rig;
    const std::string junk = rig.folder.File("junk.bmp");
    ASSERT_TRUE(ReplaceFileAtomically(junk, "not a bitmap"));
    const std::string good = rig.folder.File("logo.bmp");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString(good), "BMP"));

    rig.prompts.prompts.fileAnswers = {junk, good, junk};
    rig.window->RunCommand(ID_SET_LOGO_SOURCE);
    ASSERT_EQ(rig.prompts.prompts.fileRequests.size(), 1u);
    const FileDialogRequest& asked = rig.prompts.prompts.fileRequests[0];
    EXPECT_FALSE(asked.save);
    EXPECT_EQ(asked.title, "Select new bitmap file");
    EXPECT_EQ(asked.filter, "Bitmap files (*.bmp)|*.bmp|All files (*.*)|*.*||");
    EXPECT_EQ(asked.defaultExtension, "bmp");
    EXPECT_EQ(asked.initialName, "*.bmp");
    EXPECT_EQ(asked.startFolder, ProgramFolder());
    EXPECT_EQ(AppSettings.LogoFile, junk);   // kept although it does not load
    EXPECT_TRUE(rig.window->LogoControl()->isHidden());

    rig.window->RunCommand(ID_SET_LOGO_SOURCE);
    EXPECT_EQ(AppSettings.LogoFile, good);
    EXPECT_FALSE(rig.window->LogoControl()->isHidden());
    rig.window->RunCommand(ID_SET_LOGO_SOURCE);
    EXPECT_TRUE(rig.window->LogoControl()->isHidden());
    EXPECT_TRUE(rig.prompts.prompts.messages.empty());
}

TEST(MainCommands, IconFileReachesTheMainAndEngineeringWindows) {
    MainRig rig;
    rig.window->RunCommand(ID_OPTIONS_ENGINEERING);
    QWidget* engineering = rig.window->EngineeringWindow();
    ASSERT_NE(engineering, nullptr);
    const std::string junk = rig.folder.File("junk.ico");
    ASSERT_TRUE(ReplaceFileAtomically(junk, "not an icon"));
    const std::string good = rig.folder.File("user.ico");
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    ASSERT_TRUE(image.save(QString::fromStdString(good), "ICO"));

    rig.prompts.prompts.fileAnswers = {junk, good};
    rig.window->RunCommand(ID_SET_ICON_SOURCE);
    const FileDialogRequest& asked = rig.prompts.prompts.fileRequests.at(0);
    EXPECT_EQ(asked.title, "Select new icon file");
    EXPECT_EQ(asked.filter, "Icon files (*.ico)|*.ico|All files (*.*)|*.*||");
    EXPECT_EQ(asked.initialName, "*.ico");
    EXPECT_EQ(AppSettings.IconFile, junk);
    // A file that does not load: the application icon here, none there.
    EXPECT_EQ(rig.window->ProgramIcon().cacheKey(), rig.window->windowIcon().cacheKey());
    EXPECT_FALSE(rig.window->windowIcon().isNull());
    EXPECT_TRUE(engineering->windowIcon().isNull());

    rig.window->RunCommand(ID_SET_ICON_SOURCE);
    EXPECT_EQ(rig.prompts.prompts.fileRequests.at(1).startFolder, rig.folder.path);
    EXPECT_EQ(AppSettings.IconFile, good);
    ASSERT_FALSE(engineering->windowIcon().isNull());
    const QImage shown = engineering->windowIcon().pixmap(32, 32).toImage();
    EXPECT_EQ(shown.pixelColor(16, 16), QColor(Qt::magenta));
    EXPECT_EQ(rig.window->windowIcon().pixmap(32, 32).toImage().pixelColor(16, 16), QColor(Qt::magenta));
}

}  // namespace
