// The pieces under the windows: window messages across threads and during
// fixed waits, the page adapter, the IP address control and the prompt helpers.
#include "gui/test_main_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "ui/CIpAddressCtrl.h"
#include "ui/message_target.h"

using namespace guitest;

namespace {
struct Received {
    uint32_t msg;
    uintptr_t wParam;
    bool onGuiThread;
};
}  // namespace

TEST(MessageTarget, PostAndSendFromAWorkerArriveOnTheUserInterfaceThread) {
    std::vector<Received> got;
    QtMessageTarget target([&](uint32_t msg, uintptr_t w, intptr_t) -> intptr_t {
        got.push_back({msg, w, QThread::currentThread() == QApplication::instance()->thread()});
        return static_cast<intptr_t>(w * 2);
    });
    std::atomic<intptr_t> sendResult{-1};
    std::thread worker([&] {
        target.PostMsg(WM_LAMP_STATE, 1013, kIconGreen);
        sendResult = target.SendMsg(WM_CONNECT_DONE, 21, 0);   // waits for the handler
    });
    ASSERT_TRUE(SpinUntil([&] { return sendResult.load() != -1; }));
    worker.join();
    EXPECT_EQ(sendResult.load(), 42);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, WM_LAMP_STATE);
    EXPECT_EQ(got[1].msg, WM_CONNECT_DONE);
    EXPECT_TRUE(got[0].onGuiThread);
    EXPECT_TRUE(got[1].onGuiThread);
    // On the user-interface thread a send runs at once.
    EXPECT_EQ(target.SendMsg(WM_UNIT_ALIVE, 5, 0), 10);
    EXPECT_EQ(got.size(), 3u);
}

TEST(MessageTarget, ShutdownAnswersAWaitingSenderInsteadOfLeavingItHanging) {
    QtMessageTarget target([](uint32_t, uintptr_t, intptr_t) -> intptr_t { return 7; });
    std::atomic<intptr_t> result{-1};
    std::thread worker([&] { result = target.SendMsg(WM_CONNECT_DONE, 0, 0); });
    // The message is queued but not handled: the event loop is not run here.
    while (result.load() == -1) {
        target.Shutdown();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(result.load(), 0);
    target.PostMsg(WM_LAMP_STATE, 0, 0);   // dropped after shutdown
    QApplication::processEvents();
}

TEST(MessageTarget, MessagesArrivingDuringAFixedWaitAreDeliveredAfterIt) {
    InstallGuiWaiter();
    std::vector<uint32_t> order;
    QtMessageTarget target([&](uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
        order.push_back(msg);
        return 0;
    });
    bool sawWait = false;
    // Posted before the wait: the wait's event processing must not deliver it.
    target.PostMsg(WM_PARAM_UPDATED, 0, 0);
    QTimer::singleShot(0, [&] {
        sawWait = InFixedWait();
        target.PostMsg(WM_LAMP_STATE, 0, 0);
    });
    FixedWait(40);
    order.push_back(0);   // the wait has ended
    EXPECT_TRUE(sawWait);
    ASSERT_TRUE(SpinUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<uint32_t>{0, WM_PARAM_UPDATED, WM_LAMP_STATE}));
    SetWaiter(nullptr);
}

TEST(QtPageAdapter, FindsControlsByIdAndDrivesThem) {
    QWidget root;
    auto* layout = new QVBoxLayout(&root);
    auto* edit = SetCtrlId(new QLineEdit(&root), 1200);
    auto* combo = SetCtrlId(new QComboBox(&root), 1109);
    auto* radioA = SetCtrlId(new QRadioButton("A", &root), 1048);
    auto* radioB = SetCtrlId(new QRadioButton("B", &root), 1049);
    auto* ip = SetCtrlId(new CIpAddressCtrl(&root), 1059);
    for (QWidget* w : std::initializer_list<QWidget*>{edit, combo, radioA, radioB, ip}) layout->addWidget(w);
    // A page embedded in this one keeps its own ids to itself.
    auto* inner = new QWidget(&root);
    QtPage innerPage(inner);
    SetCtrlId(new QLineEdit(inner), 1300);
    QtPage page(&root);

    EXPECT_TRUE(page.HasControl(1200));
    EXPECT_FALSE(page.HasControl(1300));
    EXPECT_TRUE(innerPage.HasControl(1300));
    page.SetText(1200, "1750.000");
    EXPECT_EQ(edit->text().toStdString(), "1750.000");
    page.AddItem(1109, "Off");
    page.AddItem(1109, "ABS");
    EXPECT_EQ(page.GetSelection(1109), -1);   // adding rows selects nothing
    page.Select(1109, 1);
    EXPECT_EQ(page.GetText(1109), "ABS");
    page.Select(1109, 7);
    EXPECT_EQ(page.GetSelection(1109), -1);
    page.Check(1049, true);
    page.Check(1048, false);
    EXPECT_TRUE(page.IsChecked(1049));
    EXPECT_FALSE(page.IsChecked(1048));
    page.SetIp(1059, 0xC0A80A05);
    EXPECT_EQ(ip->Text(), "192.168.10.5");
    EXPECT_EQ(page.GetIp(1059), 0xC0A80A05u);
    page.SetReadOnly(1200, true);
    EXPECT_TRUE(edit->isReadOnly());
    page.Enable(1109, false);
    EXPECT_FALSE(combo->isEnabled());
    page.Show(1200, false);
    EXPECT_FALSE(edit->isVisibleTo(&root));
}

TEST(IpAddressControl, CountsFilledFieldsAndRefusesBadText) {
    CIpAddressCtrl ip;
    EXPECT_EQ(ip.FilledFieldCount(), 0);
    EXPECT_EQ(ip.Text(), "");
    EXPECT_TRUE(ip.SetText("10.0.0.254"));
    EXPECT_EQ(ip.FilledFieldCount(), 4);
    EXPECT_FALSE(ip.SetText("10.0.0.256"));
    EXPECT_FALSE(ip.SetText("10.0.0"));
    EXPECT_EQ(ip.Text(), "10.0.0.254");
    ip.Field(2)->clear();
    EXPECT_EQ(ip.FilledFieldCount(), 3);
    // A field takes at most three digits; above 255 it keeps them, refused.
    ip.Field(0)->clear();
    ip.Field(0)->insert("999");
    EXPECT_EQ(ip.Field(0)->text().toStdString(), "999");
    EXPECT_TRUE(ip.FieldRefused(0));
    EXPECT_EQ(ip.FilledFieldCount(), 2);
    EXPECT_FALSE(ip.SetText("1.2.3.+4"));
    EXPECT_FALSE(ip.SetText("1.2.3. 4"));
}

// Keys typed, or an address pasted (Ctrl+V), into the first field over the
// text `before`; each key goes to the field the control gave the focus to.
TEST(IpAddressControl, TypedAndPastedAddresses) {
    const struct { const char *before, *pasted, *typed, *fields; } cases[] = {
        {"10.20.30.40", "", "127.0.70.1", "127|0|70|1"},   // a dot after a jump stays
        {"", "", "1..2.3.4", "1|2|3|4"},                   // a dot in an empty field stays
        {"", "", "127.0.701.1", "127|0|701|1"},            // kept, refused
        {"", " 10.1.2.3\n", "", "10|1|2|3"},
        {"9.9.9.9", "10.1.2", "", "9|9|9|9"},              // not an address: refused
        {"", "42", "", "42|||"},                           // digits go into the field
    };
    QWidget window;
    auto* ip = new CIpAddressCtrl(&window);
    auto send = [&window](int key, Qt::KeyboardModifiers mods, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, mods, text), release(QEvent::KeyRelease, key, mods, text);
        QApplication::sendEvent(window.focusWidget(), &press);
        QApplication::sendEvent(window.focusWidget(), &release);
    };
    for (const auto& c : cases) {
        ip->Clear();
        ip->SetText(c.before);
        ip->Field(0)->setFocus();
        ip->Field(0)->selectAll();
        QGuiApplication::clipboard()->setText(QString::fromLatin1(c.pasted));
        if (*c.pasted) send(Qt::Key_V, Qt::ControlModifier, QString());
        for (const char* k = c.typed; *k; ++k)
            send(*k == '.' ? Qt::Key_Period : Qt::Key_0 + (*k - '0'), Qt::NoModifier, QString(QChar(*k)));
        QStringList shown;
        for (int i = 0; i < 4; ++i) shown << ip->Field(i)->text();
        EXPECT_EQ(shown.join('|').toStdString(), c.fields);
    }
}

TEST(Prompts, FileFiltersAndDefaultExtensions) {
    EXPECT_EQ(QtFileFilter("Config files (*.cfg)|*.cfg|All files (*.*)|*.*||"),
              "Config files (*.cfg);;All files (*.*)");
    EXPECT_EQ(QtFileFilter("Icons|*.ico||"), "Icons (*.ico)");
    EXPECT_EQ(WithDefaultExtension("/tmp/a/unit", "cfg"), "/tmp/a/unit.cfg");
    EXPECT_EQ(WithDefaultExtension("/tmp/a.b/unit.cfg", "cfg"), "/tmp/a.b/unit.cfg");
    EXPECT_EQ(WithDefaultExtension("/tmp/a.b/unit", "cfg"), "/tmp/a.b/unit.cfg");
    RecordingPrompts rec;
    SetPrompts(&rec);
    ShowError("Unable to open file for writing");
    ShowAlert("Config set saved");
    SetPrompts(nullptr);
    ASSERT_EQ(rec.messages.size(), 2u);
    EXPECT_EQ(rec.messages[0].caption, "Error");
    EXPECT_EQ(rec.messages[0].icon, PromptIcon::Warning);
    EXPECT_EQ(rec.messages[1].caption, "Alert");
    EXPECT_EQ(rec.messages[1].icon, PromptIcon::Information);
}
