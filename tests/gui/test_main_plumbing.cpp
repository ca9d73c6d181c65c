// The pieces under the windows: the core's events across threads and during
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
#include "params/param_table.h"
#include "ui/unit_events_qt.h"

using namespace guitest;

namespace {
// What a window heard from the adapter, in order, and on which thread.
struct Heard {
    std::string what;
    bool onGuiThread;
};

void Listen(QtUnitEvents& events, std::vector<Heard>& heard) {
    auto note = [&heard](std::string what) {
        heard.push_back({std::move(what), QThread::currentThread() == QApplication::instance()->thread()});
    };
    QObject::connect(&events, &QtUnitEvents::lampChanged, [note](Lamp lamp, LampState state) {
        note("lamp " + std::to_string(int(lamp)) + " " + std::to_string(int(state)));
    });
    QObject::connect(&events, &QtUnitEvents::valueUpdated, [note](ValueTable, const ParamEntry&) { note("value"); });
    QObject::connect(&events, &QtUnitEvents::unitAlive, [note] { note("alive"); });
    QObject::connect(&events, &QtUnitEvents::connectDone,
                     [note](ConnectResult r) { note(r == ConnectResult::Connected ? "connected" : "failed"); });
}
}  // namespace

TEST(UnitEventsAdapter, PostedAndSentFromAWorkerArriveOnTheUserInterfaceThreadInOrder) {
    QtUnitEvents events;
    std::vector<Heard> heard;
    Listen(events, heard);
    std::atomic<bool> sent{false};
    std::thread worker([&] {
        events.LampChanged(Lamp::Reception, LampState::Green);
        events.ConnectDone(ConnectResult::Failed);   // waits for the window
        sent = true;
    });
    ASSERT_TRUE(SpinUntil([&] { return sent.load(); }));
    worker.join();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].what, "lamp 1 1");
    EXPECT_EQ(heard[1].what, "failed");
    EXPECT_TRUE(heard[0].onGuiThread);
    EXPECT_TRUE(heard[1].onGuiThread);
    // On the user-interface thread a sent event is handled at once.
    events.ConnectDone(ConnectResult::Connected);
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[2].what, "connected");
}

TEST(UnitEventsAdapter, ShutdownAnswersAWaitingSenderInsteadOfLeavingItHanging) {
    QtUnitEvents events;
    std::vector<Heard> heard;
    Listen(events, heard);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        events.ConnectDone(ConnectResult::Connected);
        returned = true;
    });
    // The event is queued but not handled: the event loop is not run here.
    while (!returned.load()) {
        events.Shutdown();
        std::this_thread::yield();
    }
    worker.join();
    events.UnitAlive();   // dropped after shutdown
    QApplication::processEvents();
    EXPECT_TRUE(heard.empty());
}

TEST(UnitEventsAdapter, EventsArrivingDuringAFixedWaitAreDeliveredAfterIt) {
    InstallGuiWaiter();
    QtUnitEvents events;
    std::vector<Heard> heard;
    Listen(events, heard);
    bool sawWait = false;
    // Posted before the wait: the wait's event processing must not deliver it.
    events.ValueUpdated(ValueTable::Demod, NarrowbandDemodTable[0]);
    QTimer::singleShot(0, [&] {
        sawWait = InFixedWait();
        events.UnitAlive();
    });
    FixedWait(40);
    heard.push_back({"wait over", true});
    EXPECT_TRUE(sawWait);
    ASSERT_TRUE(SpinUntil([&] { return heard.size() == 3; }));
    EXPECT_EQ(heard[0].what, "wait over");
    EXPECT_EQ(heard[1].what, "value");
    EXPECT_EQ(heard[2].what, "alive");
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
