// Accessible names, as a screen reader or a test over the accessibility bus
// finds controls: every window the main window opens, opened as the program
// opens it, has a name on each control that takes input (unique in its
// window), closes by Escape; the menu entries are named without their key
// text and keep their shortcuts; the lamps say their state in words; the
// graphs and the chart say their values.
#include "gui/test_main_support.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <map>
#include <set>

#include "app/ui/CLogoSizeDialog.h"
#include "link/messages.h"
#include "link/ui/CConnectDialog.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/ui/CHistoryChart.h"
#include "params/ui/CSignalHistoryDlg.h"
#include "params/ui/CStatusGraphs.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/CPleaseWaitDialog.h"
#include "ui/control_ids.h"

using namespace guitest;

namespace {

std::string Text(QWidget* w, QAccessible::Text t) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(t).toStdString() : std::string();
}

bool TakesInput(QWidget* w) {
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
           qobject_cast<QAbstractButton*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
           qobject_cast<QTabBar*>(w) || qobject_cast<QProgressBar*>(w) || qobject_cast<CIpAddressCtrl*>(w) ||
           qobject_cast<CUpDownControl*>(w) || qobject_cast<CStatusGraphs*>(w) || qobject_cast<CHistoryChart*>(w);
}

// The shown controls of `window` that take input and have no name, a name
// with key text or a colon, or the name of another one.
void CheckNames(QWidget* window, const std::string& where) {
    QApplication::processEvents();
    std::map<std::string, int> seen;
    int checked = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!TakesInput(w) || !w->isVisibleTo(window) || w->window() != window) continue;
        const std::string name = Text(w, QAccessible::Name);
        const std::string what = where + ": " + w->metaObject()->className() + " " + w->objectName().toStdString() +
                                 " (accessible name '" + w->accessibleName().toStdString() + "')";
        EXPECT_FALSE(name.empty()) << what;
        EXPECT_EQ(name.find_first_of("\t&"), std::string::npos) << what << " '" << name << "'";
        EXPECT_TRUE(name.empty() || name.back() != ':') << what << " '" << name << "'";
        if (!name.empty()) {
            EXPECT_EQ(++seen[name], 1) << what << " '" << name << "' given twice";
        }
        ++checked;
    }
    EXPECT_GT(checked, 0) << where;
}

// Every page of every tab widget of `window` in turn (with the pages around it shown).
void CheckEveryPage(QWidget* window, const std::string& where) {
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
}

// Escape typed into the window closes it (a modal one ends its run).
void CheckEscapeCloses(QWidget* window, const std::string& where) {
    QPointer<QWidget> guard(window);
    KeyClick(window, Qt::Key_Escape);
    QApplication::processEvents();
    const bool closed = !guard || !guard->isVisible();
    EXPECT_TRUE(closed) << where << ": Escape did not close it";
    if (!closed) guard->close();
}

using Opener = std::function<QWidget*(CTavrin_rx_ctrl_v2Dlg&)>;

// A modal window of a command: checked and closed while its run is on.
void CheckModal(const std::string& where, const std::function<void()>& run) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        seen = true;
        CheckEveryPage(modal, where);
        CheckEscapeCloses(modal, where);
    });
    run();
    EXPECT_TRUE(seen) << where << ": no modal window";
}

struct WindowCase {
    const char* name;
    int command;       // a command that runs a modal window, or 0
    Opener open;       // otherwise: opens a window as the program does
    bool escapeCloses;
};

const WindowCase kWindows[] = {
    {"main window", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* { return &w; }, false},
    {"full demodulator page", 0,
     [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* {
         Ctl<QPushButton>(w.SimplePage(), ids::simple_page::kAdvanced)->click();
         return w.SimplePage()->FullPage();
     },
     true},
    {"engineering window", 0,
     [](CTavrin_rx_ctrl_v2Dlg& w) {
         w.RunCommand(ID_OPTIONS_ENGINEERING);
         return w.EngineeringWindow();
     },
     true},
    {"signal history", 0,
     [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* {
         w.RunCommand(ID_SIGNAL_HISTORY);
         return w.HistoryWindow();
     },
     true},
    {"connecting", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* {
         auto* d = new CConnectDialog(&w);
         d->show();
         return d;
     },
     true},
    {"please wait", 0, [](CTavrin_rx_ctrl_v2Dlg& w) -> QWidget* {
         auto* d = new CPleaseWaitDialog(&w);
         d->show();
         return d;
     },
     false},
    {"polling options", ID_POLLING_OPTIONS, nullptr, true},
    {"write key", ID_WRITE_KEY, nullptr, true},
    {"restore defaults", ID_RESTORE_DEFAULTS, nullptr, true},
    {"logo size", ID_SET_LOGO_SIZE, nullptr, true},
    {"enter value", ID_SET_APP_TITLE, nullptr, true},
    {"about", 16, nullptr, true},
};

}  // namespace

TEST(MainAccessible, EveryWindowNamesItsControlsAndClosesByEscape) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    for (const WindowCase& c : kWindows) {
        SCOPED_TRACE(c.name);
        if (c.command) {
            CheckModal(c.name, [&] {
                if (QAction* a = w.CommandAction(c.command)) a->trigger();
            });
            continue;
        }
        QWidget* window = c.open(w);
        ASSERT_NE(window, nullptr);
        QPointer<QWidget> guard(window);
        CheckEveryPage(window, c.name);
        if (c.escapeCloses) CheckEscapeCloses(window, c.name);
        else if (guard && window != &w) window->close();
    }
    // The IP control and its fields carry the label's name; typing starts in its first field.
    auto* ip = Ctl<CIpAddressCtrl>(&w, ids::main_window::kIpAddress);
    EXPECT_EQ(Text(ip, QAccessible::Name), "Address");
    EXPECT_EQ(Text(ip->Field(0), QAccessible::Name), "Address field 1");
    EXPECT_EQ(Text(ip->Field(3), QAccessible::Name), "Address field 4");
    EXPECT_EQ(Text(Ctl<QWidget>(&w, ids::main_window::kPortList), QAccessible::Name), "Port");
    EXPECT_EQ(ip->focusProxy(), ip->Field(0));
}

TEST(MainAccessible, MenuEntriesAreNamedWithoutKeysAndKeepTheirShortcuts) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    std::map<std::string, std::string> named;   // name -> shortcut
    for (QMenu* menu : w.MenuBar()->findChildren<QMenu*>()) {
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(menu);
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->childCount(); ++i) {
            QAccessibleInterface* entry = list->child(i);
            if (entry->role() == QAccessible::Separator) continue;
            named[entry->text(QAccessible::Name).toStdString()] = entry->text(QAccessible::Accelerator).toStdString();
        }
    }
    const std::map<std::string, std::string> keyed = {
        {"Engineering", "Ctrl+E"},          {"Enable polling", "Ctrl+P"}, {"Polling options", "Ctrl+L"},
        {"Signal history", "Ctrl+H"},       {"Write decryption key", "Ctrl+K"},
        {"Restore defaults", "Ctrl+D"}};
    for (const auto& [name, key] : keyed) {
        ASSERT_TRUE(named.count(name)) << name;
        EXPECT_EQ(named[name], key) << name;
    }
    for (const auto& [name, key] : named) EXPECT_EQ(name.find_first_of("\t&"), std::string::npos) << name;
    // Every toolbar command is also a menu entry (the two polling buttons are the polling entry).
    std::set<QAction*> entries;
    for (QMenu* menu : w.MenuBar()->findChildren<QMenu*>())
        for (QAction* a : menu->actions()) entries.insert(a);
    for (QAction* tool : w.ToolBar()->actions()) {
        const int id = tool->property("cmdId").toInt();
        if (tool->isSeparator() || id == ID_ENABLE_POLLING || id == ID_DISABLE_POLLING) continue;
        EXPECT_TRUE(entries.count(tool)) << tool->toolTip().toStdString();
    }
}

TEST(MainAccessible, LampsSayTheStateTheirIconShows) {
    Rig rig(Quiet());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    const struct {
        int lamp;
        const char* name;
        const char* words[3];   // green, red, grey
    } lamps[] = {{ids::main_window::kDemodLockLamp, "Demod lock", {"locked", "not locked", "unknown"}},
                 {ids::main_window::kReceptionLamp, "Reception", {"receiving", "not receiving", "unknown"}},
                 {ids::main_window::kDecoderLockLamp, "Decoder lock", {"locked", "not locked", "unknown"}},
                 {ids::main_window::kConnectionLamp, "Connection status", {"connected", "not connected", "unknown"}}};
    const int icons[3] = {kIconGreen, kIconRed, kIconGrey};
    for (const auto& l : lamps) {
        QWidget* lamp = Ctl<QWidget>(&w, l.lamp);
        ASSERT_NE(lamp, nullptr);
        EXPECT_EQ(Text(lamp, QAccessible::Name), l.name);
        for (int k = 0; k < 3; ++k) {
            w.MessageTarget().PostMsg(WM_LAMP_STATE, uintptr_t(l.lamp), icons[k]);
            ASSERT_TRUE(SpinUntil([&] { return LampIcon(&w, l.lamp) == icons[k]; }));
            EXPECT_EQ(Text(lamp, QAccessible::Description), l.words[k]) << l.name << " icon " << icons[k];
            EXPECT_EQ(lamp->toolTip().toStdString(), l.words[k]) << l.name;
        }
    }
}

TEST(MainAccessible, GraphsAndChartSayTheirValues) {
    Rig rig(FastPolling());
    CTavrin_rx_ctrl_v2Dlg& w = rig.Start();
    ASSERT_TRUE(w.UnitConnected());
    // "SNR A 23.5 dB, ..., SNR D ..., Level A -61.2 dBm, ..., Level D ...", a value or "no value" each.
    const QString value = QStringLiteral(" (-?\\d+\\.\\d (dB|dBm)|no value)");
    QStringList series;
    for (const char* s : {"SNR", "Level"})
        for (char input : {'A', 'B', 'C', 'D'}) series << QStringLiteral("%1 %2").arg(QLatin1String(s)).arg(QChar(input)) + value;
    const QRegularExpression shape(QStringLiteral("^") + series.join(QStringLiteral(", ")) + QStringLiteral("$"));

    auto* graphs = w.SimplePage()->findChild<CStatusGraphs*>();
    ASSERT_NE(graphs, nullptr);
    EXPECT_EQ(Text(graphs, QAccessible::Description).rfind("SNR A no value, ", 0), 0u);
    ASSERT_TRUE(SpinUntil([&] { return Text(graphs, QAccessible::Description).rfind("SNR A no value", 0) != 0; }));
    const QString said = QString::fromStdString(Text(graphs, QAccessible::Description));
    EXPECT_TRUE(shape.match(said).hasMatch()) << said.toStdString();
    EXPECT_EQ(graphs->toolTip(), said);

    w.RunCommand(ID_SIGNAL_HISTORY);
    CHistoryChart* chart = w.HistoryWindow()->Chart();
    ASSERT_TRUE(SpinUntil([&] {
        w.HistoryWindow()->Refresh(true);
        return QString::fromStdString(Text(chart, QAccessible::Description)).contains(QStringLiteral(" dBm"));
    }));
    const QString latest = QString::fromStdString(Text(chart, QAccessible::Description));
    EXPECT_TRUE(shape.match(latest).hasMatch()) << latest.toStdString();
    EXPECT_EQ(Text(chart, QAccessible::Name), "Signal history chart");
}
