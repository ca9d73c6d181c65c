// The engineering window: raw command page against the simulated unit, the
// advanced options pages, Enter handling and closing.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>

#include "link/ui/CDiagnosticDialog.h"
#include "app/ui/CEngineeringDialog.h"
#include "pages/ui/CAdvTemplateDialog.h"
#include "pages/ui/CAdvancedDialog.h"
#include "pages/ui/CSerialCtrlDialog.h"
#include "test_dialogs_support.h"

using namespace dlgtest;

namespace {

std::string Bytes(const std::initializer_list<int>& list) {
    std::string out;
    for (int b : list) out += char(b);
    return out;
}

class Engineering : public ::testing::Test {
protected:
    void SetUp() override {
        AppSettings = AppSettingsData{};
        ASSERT_TRUE(rig.started && rig.opened);
        Open(1, [this] { return connected; });
        window->show();
    }
    // A new engineering window (showing `unitAddress`) whose signals the main window's stand-in hears.
    void Open(int unitAddress, std::function<bool()> unitConnected) {
        window = new CEngineeringDialog(rig.link.get(), unitAddress, std::move(unitConnected), QIcon());
        QObject::connect(window, &CEngineeringDialog::unitAddressSet, [this](int a) { addresses.push_back(a); });
        QObject::connect(window, &CEngineeringDialog::closing, [this] { ++closings; });
    }
    void TearDown() override { delete window.data(); }

    CDiagnosticDialog* Diag() { return window->diagnosticPage(); }
    void Type(const char* address, const char* command) {
        Control<QLineEdit>(window, 1018)->setText(QString::fromLatin1(address));
        Control<QLineEdit>(window, 1019)->setText(QString::fromLatin1(command));
    }
    void PressEnter() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget()
                                                            : static_cast<QWidget*>(window),
                                &press);
    }
    QString Output() { return Control<QPlainTextEdit>(window, 1029)->toPlainText(); }

    PromptRecorder prompts;
    SerialRig rig;
    std::vector<int> addresses;   // unitAddressSet, in order
    int closings = 0;
    bool connected = true;
    QPointer<CEngineeringDialog> window;
};

TEST_F(Engineering, RawCommandSendsTheTypedFrameAndListsBothFrames) {
    EXPECT_EQ(window->windowTitle(), "Engineering options");
    EXPECT_EQ(window->tabs()->tabText(0), "Diagnostic");
    EXPECT_EQ(window->tabs()->tabText(1), "Advanced options");
    Type("0001", "r1loc;;");
    Control<QPushButton>(window, 1030)->click();

    const std::string frame = Bytes({0x02, 0x30, 0x30, 0x30, 0x31, 0x72, 0x31, 0x6C, 0x6F, 0x63, 0x3B,
                                     0x3B, 0x98, 0x03});
    ASSERT_EQ(rig.unit->Requests(), std::vector<std::string>{frame});
    EXPECT_TRUE(prompts.prompts.messages.empty());
    const QString text = Output();
    EXPECT_TRUE(text.startsWith("Sending:  2 30 30 30 31 72 31 6c 6f 63 3b 3b 98  3 ")) << text.toStdString();
    // The raw frame follows its hex dump, then the reply line.
    EXPECT_TRUE(text.contains(QStringLiteral("3 \x02" "0001r1loc;;\u0098\x03\nReply: "))) << text.toStdString();
    const QString reply = QString::fromLatin1(rig.link->LastReply().c_str());
    EXPECT_TRUE(text.endsWith(reply + "\n")) << text.toStdString();
    // Both edits keep their text between sends; a second send appends.
    Control<QPushButton>(window, 1030)->click();
    EXPECT_EQ(rig.unit->Requests().size(), 2u);
    EXPECT_EQ(Output().count("Sending: "), 2);
}

TEST_F(Engineering, BadChecksumIsReportedAndTheReplyStillListed) {
    rig.unit->SetFault(sim::Fault::BadChecksum, 1);
    Type("0001", "rgmod;;");
    Diag()->OnSendCommand();
    ASSERT_EQ(prompts.Texts(), std::vector<std::string>{"Bad checksum in response message"});
    EXPECT_EQ(prompts.prompts.messages[0].caption, "Error");
    EXPECT_EQ(prompts.prompts.messages[0].icon, PromptIcon::Warning);
    const QString text = Output();
    EXPECT_TRUE(text.startsWith("Sending: ")) << text.toStdString();
    EXPECT_TRUE(text.contains("Reply:  2 30 30 30 31 31 ")) << text.toStdString();
}

TEST_F(Engineering, SilentUnitShowsTheTimeOutAndListsNothing) {
    rig.unit->SetFault(sim::Fault::Silence);
    Type("0001", "rgmod;;");
    Diag()->OnSendCommand();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"Timed out trying to read a response message"});
    EXPECT_TRUE(Output().isEmpty());
}

TEST_F(Engineering, RefusesWhatCannotBeSent) {
    connected = false;
    Type("0001", "r1loc;;");
    Diag()->OnSendCommand();
    EXPECT_EQ(prompts.Texts(), std::vector<std::string>{"No connection currently"});

    connected = true;
    prompts.prompts.messages.clear();
    Type("12", "r1loc;;");
    Diag()->OnSendCommand();
    ASSERT_EQ(prompts.Texts().size(), 1u);
    EXPECT_EQ(prompts.Texts()[0], "The send address must be four characters");

    prompts.prompts.messages.clear();
    Type("0001", ("w1nam;" + std::string(240, 'a')).c_str());
    Diag()->OnSendCommand();
    ASSERT_EQ(prompts.Texts().size(), 1u);
    EXPECT_EQ(prompts.Texts()[0], "The command is too long: at most 240 characters can be sent");

    EXPECT_TRUE(rig.unit->Requests().empty());
    EXPECT_TRUE(Output().isEmpty());
}

TEST(ResultCodeMessages, TableTextsAndTheTwoWithout) {
    EXPECT_EQ(ResultCodeMessage(0x80000009), "Timed out trying to read a response message");
    EXPECT_EQ(ResultCodeMessage(0x8000000F), "No end of message in response");
    EXPECT_EQ(ResultCodeMessage(0x80000042), "Unknown error 0x80000042");
}

TEST_F(Engineering, EnterSendsOnlyOnTheDiagnosticTabAndNeverCloses) {
    Type("0001", "rgmod;;");
    Control<QLineEdit>(window, 1019)->setFocus();
    window->activateWindow();
    PressEnter();
    EXPECT_EQ(rig.unit->Requests().size(), 1u);

    window->tabs()->setCurrentIndex(1);
    EXPECT_FALSE(Diag()->isVisible());
    Control<QLineEdit>(window->advancedPage(), 1200)->setFocus();
    PressEnter();
    window->OnOK();
    EXPECT_EQ(rig.unit->Requests().size(), 1u);
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());

    // Back on the Diagnostic tab the output is as it was.
    const QString before = Output();
    window->tabs()->setCurrentIndex(0);
    EXPECT_TRUE(Diag()->isVisible());
    EXPECT_EQ(Output(), before);
    EXPECT_EQ(closings, 0);
}

TEST_F(Engineering, ClosingReportsToTheMainWindowAndReopeningGivesFreshPages) {
    Type("0001", "rgmod;;");
    Diag()->OnSendCommand();
    window->close();
    WaitUntil([this] { return window.isNull(); });
    ASSERT_TRUE(window.isNull());
    EXPECT_EQ(closings, 1);

    Open(1, [] { return true; });
    EXPECT_TRUE(Control<QLineEdit>(window, 1018)->text().isEmpty());
    EXPECT_TRUE(Control<QLineEdit>(window, 1019)->text().isEmpty());
    EXPECT_TRUE(Output().isEmpty());
}

TEST_F(Engineering, UnitAddressGoesThroughToTheMainWindow) {
    delete window.data();
    Open(12, [] { return true; });
    CAdvancedDialog* advanced = window->advancedPage();
    QLineEdit* address = Control<QLineEdit>(advanced->generalPage(), 1200);
    EXPECT_EQ(address->text(), "0012");
    EXPECT_EQ(address->maxLength(), 4);
    EXPECT_FALSE(advanced->applyButton()->isEnabled());

    address->setText("34");
    EXPECT_TRUE(advanced->applyButton()->isEnabled());
    advanced->applyButton()->click();
    EXPECT_FALSE(advanced->applyButton()->isEnabled());
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_EQ(addresses[0], 34);

    address->setText("x7");   // no leading digits: 0
    advanced->OnApply();
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[1], 0);
}

TEST_F(Engineering, SerialControlAppliesOnlyWhatChanged) {
    CAdvancedDialog* advanced = window->advancedPage();
    CSerialCtrlDialog* serial = advanced->serialPage();
    advanced->tabs()->setCurrentIndex(1);
    QComboBox* baud = Control<QComboBox>(serial, 1100);
    ASSERT_EQ(baud->count(), 15);
    EXPECT_EQ(baud->currentText(), "9600");
    EXPECT_EQ(Control<QLineEdit>(serial, 1202)->text(), "60");
    EXPECT_FALSE(advanced->applyButton()->isEnabled());

    // A General-page change is not applied from the Serial control tab.
    Control<QLineEdit>(advanced->generalPage(), 1200)->setText("0077");
    baud->setCurrentIndex(baud->findText("19200"));
    EXPECT_TRUE(advanced->applyButton()->isEnabled());
    AppSettings.ReadTotalTimeoutConstant = 1;
    advanced->OnApply();
    EXPECT_EQ(rig.link->BaudRate(), 19200u);
    EXPECT_TRUE(addresses.empty());
    // Time-outs typed as they were: stored in the settings, link unchanged.
    EXPECT_EQ(AppSettings.ReadTotalTimeoutConstant, 60);
    EXPECT_EQ(rig.link->CommTimeouts().readTotalConstant, 60u);
    // The baud rate is not copied into the saved settings.
    EXPECT_EQ(AppSettings.BaudRate, 9600);

    Control<QLineEdit>(serial, 1203)->setText("7");
    advanced->OnApply();
    EXPECT_EQ(rig.link->CommTimeouts().writeTotalMultiplier, 7u);
    EXPECT_EQ(AppSettings.WriteTotalTimeoutMultiplier, 7);
    // The unit still answers at the new settings (the pty follows the rate).
    Type("0001", "rgmod;;");
    Diag()->OnSendCommand();
    EXPECT_TRUE(prompts.prompts.messages.empty());
}

TEST(SerialControl, DigitsOnlyAndSevenCharacters) {
    CFerritRemoteControl link(nullptr);
    link.SetBaudRate(12345);   // not in the list: no selection
    CSerialCtrlDialog page(&link, nullptr);
    int changes = 0;
    QObject::connect(&page, &CSerialCtrlDialog::changed, [&changes] { ++changes; });
    EXPECT_EQ(Control<QComboBox>(&page, 1100)->currentIndex(), -1);
    QLineEdit* edit = Control<QLineEdit>(&page, 1200);
    EXPECT_EQ(edit->maxLength(), 7);
    edit->setFocus();
    edit->clear();
    for (QChar c : QStringLiteral("12a-34567890")) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &key);
    }
    EXPECT_EQ(edit->text(), "1234567");
    EXPECT_GT(changes, 0);
}

}  // namespace
