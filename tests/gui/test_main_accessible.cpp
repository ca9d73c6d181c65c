// What a screen reader or a test over the accessibility bus finds: each window,
// opened as the program opens it, names its controls and closes by Escape; menu
// entries keep shortcuts out of their names; lamps, graphs and chart say what they show.
#include "gui/test_main_support.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <map>

#include "app/ui/CAlarmRulesDlg.h"
#include "app/ui/CLogoSizeDialog.h"
#include "link/ui/CConnectDialog.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/ui/CHistoryChart.h"
#include "params/ui/CStatusGraphs.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/CPleaseWaitDialog.h"
#include "ui/control_ids.h"

using namespace guitest;

namespace {

std::string Said(QWidget* w, QAccessible::Text t) { return QAccessible::queryAccessibleInterface(w)->text(t).toStdString(); }

bool TakesInput(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
           qobject_cast<QAbstractButton*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTabBar*>(w) ||
           qobject_cast<QProgressBar*>(w) || qobject_cast<CIpAddressCtrl*>(w) || qobject_cast<CUpDownControl*>(w) ||
           qobject_cast<CStatusGraphs*>(w) || qobject_cast<CHistoryChart*>(w);
}

// The shown controls of `window`: each named, without key text or colon, no name twice.
void CheckNames(QWidget* window, const std::string& where) {
    QApplication::processEvents();
    std::map<std::string, int> seen;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!TakesInput(w) || !w->isVisibleTo(window) || w->window() != window) continue;
        const std::string name = Said(w, QAccessible::Name);
        const std::string what = where + ": " + w->metaObject()->className() + " " + w->objectName().toStdString();
        EXPECT_TRUE(!name.empty() && name.find_first_of("\t&") == std::string::npos && name.back() != ':') << what;
        EXPECT_EQ(++seen[name], 1) << what << " '" << name << "' given twice";
    }
    EXPECT_FALSE(seen.empty()) << where;
}

// Each page of each tab widget in turn, with the pages around it shown; then Escape.
void CheckWindow(QWidget* window, const std::string& where, bool escapeCloses) {
    CheckNames(window, where);
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            for (QWidget* w = tabs; w->parentWidget(); w = w->parentWidget())
                if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget()))
                    if (auto* outer = qobject_cast<QTabWidget*>(stack->parentWidget())) outer->setCurrentWidget(w);
            CheckNames(window, where + " / " + tabs->tabText(i).toStdString());
        }
    }
    QPointer<QWidget> guard(window);
    if (escapeCloses) KeyClick(window, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_TRUE(!escapeCloses || !guard || !guard->isVisible()) << where << ": Escape did not close it";
    if (guard && guard->isWindow() && !qobject_cast<CTavrin_rx_ctrl_v2Dlg*>(window)) guard->close();
}

// A window as the program opens it: by a menu command (a modal one is looked at
// during its run), or by `open`.
struct WindowCase {
    const char* name;
    int command;
    std::function<QWidget*(CTavrin_rx_ctrl_v2Dlg&)> open;
};

const WindowCase kWindows[] = {
    {"main window", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return &w; }},
    {"full demodulator page", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* {
         Ctl<QPushButton>(w.SimplePage(), ids::simple_page::kAdvanced)->click();
         return w.SimplePage()->FullPage();
     }},
    {"engineering window", ID_OPTIONS_ENGINEERING, [](CTavrin_rx_ctrl_v2Dlg& w) { return w.EngineeringWindow(); }},
    {"signal history", ID_SIGNAL_HISTORY, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return w.HistoryWindow(); }},
    {"alarms", ID_ALARMS, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return w.AlarmsWindow(); }},
    {"alarm rules", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return new CAlarmRulesDlg(AlarmRules::Defaults(), "", &w); }},
    {"connecting", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return new CConnectDialog(&w); }},
    {"please wait", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return new CPleaseWaitDialog(&w); }},
    {"polling options", ID_POLLING_OPTIONS, nullptr}, {"write key", ID_WRITE_KEY, nullptr},
    {"restore defaults", ID_RESTORE_DEFAULTS, nullptr}, {"logo size", ID_SET_LOGO_SIZE, nullptr},
    {"enter value", ID_SET_APP_TITLE, nullptr},       {"about", 16, nullptr},
};

}  // namespace

TEST(MainAccessible, EveryWindowNamesItsControlsAndClosesByEscape) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    for (const WindowCase& c : kWindows) {
        SCOPED_TRACE(c.name);
        bool modal = false;
        QTimer::singleShot(0, [&] {
            modal = QApplication::activeModalWidget() != nullptr;
            if (modal) CheckWindow(QApplication::activeModalWidget(), c.name, true);
        });
        if (c.command) w.CommandAction(c.command)->trigger();
        QApplication::processEvents();
        if (modal) continue;
        QWidget* window = c.open(w);
        ASSERT_NE(window, nullptr);
        window->show();
        CheckWindow(window, c.name, window != &w && !qobject_cast<CPleaseWaitDialog*>(window));
    }
    auto* ip = Ctl<CIpAddressCtrl>(&w, ids::main_window::kIpAddress);
    EXPECT_EQ(Said(ip, QAccessible::Name) + "|" + Said(ip->Field(3), QAccessible::Name), "Address|Address field 4");
    EXPECT_EQ(ip->focusProxy(), ip->Field(0));
    EXPECT_EQ(Said(Ctl<QComboBox>(&w, ids::main_window::kPortList), QAccessible::Name), "Port");
}

TEST(MainAccessible, MenusLampsGraphsAndChartSayWhatTheyShow) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    std::map<std::string, std::string> keys;   // menu entry name -> shortcut
    for (QMenu* menu : w.MenuBar()->findChildren<QMenu*>())
        for (int i = 0; QAccessibleInterface* entry = QAccessible::queryAccessibleInterface(menu)->child(i); ++i)
            keys[entry->text(QAccessible::Name).toStdString()] = entry->text(QAccessible::Accelerator).toStdString();
    EXPECT_EQ(keys["Engineering"] + keys["Disable polling"] + keys["Polling options"] + keys["Signal history"] +
                  keys["Write decryption key"] + keys["Restore defaults"],
              "Ctrl+ECtrl+PCtrl+LCtrl+HCtrl+KCtrl+D");
    EXPECT_EQ(keys["Alarms"], "Ctrl+M");

    // "SNR A 23.5 dB, ..., Level D -61.2 dBm", each a value or "no value".
    QStringList series;
    for (const char* s : {"SNR %1 (-?\\d+\\.\\d dB|no value)", "Level %1 (-?\\d+\\.\\d dBm|no value)"})
        for (char input : {'A', 'B', 'C', 'D'}) series << QString::fromLatin1(s).arg(QChar(input));
    const QRegularExpression shape(QStringLiteral("^%1$").arg(series.join(QStringLiteral(", "))));
    auto* graphs = w.SimplePage()->findChild<CStatusGraphs*>();
    ASSERT_TRUE(SpinUntil([&] { return Said(graphs, QAccessible::Description).find("dBm") != std::string::npos; }));
    EXPECT_TRUE(shape.match(graphs->toolTip()).hasMatch()) << graphs->toolTip().toStdString();
    w.RunCommand(ID_SIGNAL_HISTORY);
    w.HistoryWindow()->Refresh(true);
    EXPECT_TRUE(shape.match(w.HistoryWindow()->Chart()->accessibleDescription()).hasMatch());

    // The lamps with the unit there, then gone: name, then the words for green, red and grey.
    const std::map<int, std::vector<std::string>> lamps = {
        {ids::main_window::kDemodLockLamp, {"Demod lock", "locked", "not locked", "unknown"}},
        {ids::main_window::kReceptionLamp, {"Reception", "receiving", "not receiving", "unknown"}},
        {ids::main_window::kDecoderLockLamp, {"Decoder lock", "locked", "not locked", "unknown"}},
        {ids::main_window::kConnectionLamp, {"Connection status", "connected", "not connected", "unknown"}}};
    auto checkLamps = [&] {
        for (const auto& [id, texts] : lamps) {
            QWidget* lamp = Ctl<QWidget>(&w, id);
            const int icon = LampIcon(&w, id);
            const std::string& words = texts[icon == kIconGreen ? 1 : icon == kIconRed ? 2 : 3];
            EXPECT_EQ(Said(lamp, QAccessible::Name) + ": " + Said(lamp, QAccessible::Description) + "/" +
                          lamp->toolTip().toStdString(), texts[0] + ": " + words + "/" + words);
        }
    };
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, ids::main_window::kDemodLockLamp) == kIconGreen; }));
    checkLamps();
    rig.unit->Stop();
    ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, ids::main_window::kConnectionLamp) == kIconRed; }));
    checkLamps();
}
