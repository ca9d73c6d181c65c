// The main window's menu bar, toolbar and accelerators. The work of each
// command lies in main_commands.cpp (and, for Exit, in the close of the window).
#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "app/settings.h"
#include "app/ui/CAboutDlg.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "ui/operator_texts.h"
#include "ui/theme_colours.h"

// The toolbar images (res/toolbar.qrc) live in the static GUI library; their
// registration must be pulled in explicitly.
static void InitToolbarResources() { Q_INIT_RESOURCE(toolbar); }

namespace {

constexpr int kAboutCommand = 16;

// The toolbar image of a command, drawn into res/toolbar/ when there is one,
// made to show on the palette's window colour.
QIcon ToolbarImage(int commandId, const QPalette& palette) {
    static const bool registered = [] {
        InitToolbarResources();
        return true;
    }();
    (void)registered;
    const QString path = QStringLiteral(":/toolbar/%1.png").arg(commandId);
    return QFile::exists(path) ? IconForPalette(path, palette) : QIcon();
}

}  // namespace

void CTavrin_rx_ctrl_v2Dlg::BuildMenuAndToolbar() {
    menuBar_ = new QMenuBar(this);
    // An entry's text is the plain entry with its mnemonic; the menu shows the
    // shortcut beside it, so the entry's accessible name carries no key text.
    auto add = [this](QMenu* menu, int id, const char* text, const char* shortcut) {
        auto* action = new QAction(QString::fromLatin1(text), this);
        action->setProperty("cmdId", id);
        action->setObjectName(QStringLiteral("cmd_%1").arg(id));
        if (shortcut) {
            action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        connect(action, &QAction::triggered, this, [this, id] {
            if (id == kAboutCommand) {
                CAboutDlg about(this);
                about.exec();
            } else {
                RunCommand(id);
            }
        });
        if (menu) menu->addAction(action);
        actions_[id] = action;
        return action;
    };

    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    add(file, ID_SET_ICON_SOURCE, "Set &icon source", nullptr);
    add(file, ID_SET_LOGO_SOURCE, "Set &logo source", nullptr);
    add(file, ID_SET_LOGO_SIZE, "Set logo &size", nullptr);
    add(file, ID_SET_APP_TITLE, "Set &application title", nullptr);
    file->addSeparator();
    add(file, ID_FILE_EXIT, "E&xit", nullptr);

    QMenu* options = menuBar_->addMenu(QStringLiteral("&Options"));
    add(options, ID_OPTIONS_ENGINEERING, "&Engineering", "Ctrl+E");
    add(options, ID_OPTIONS_POLLING, "&Polling enabled", "Ctrl+P");
    add(options, ID_POLLING_OPTIONS, "Polling &options", "Ctrl+L");
    add(options, ID_SIGNAL_HISTORY, "Signal &history", "Ctrl+H");
    add(options, ID_ALARMS, "&Alarms", "Ctrl+M");
    add(options, ID_WRITE_KEY, "Write decryption &key", "Ctrl+K");
    add(options, ID_RESTORE_DEFAULTS, "&Restore defaults", "Ctrl+D");
    add(options, ID_RESTORE_DEFAULTS_DOWNCONVERTERS, "Restore defaults and setup &downconverters", nullptr);

    // The About box: a window-manager menu cannot be extended here, so the
    // entry sits in a menu of its own.
    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    add(help, kAboutCommand, "&About receiver control...", nullptr);

    // Toolbar 131, with the tooltips of the string table.
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QStringLiteral("toolbar_131"));
    toolBar_->setIconSize(QSize(16, 15));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto tool = [&](int id, const char* tip) {
        QAction* action = actions_.count(id) ? actions_[id] : add(nullptr, id, tip, nullptr);
        action->setToolTip(QString::fromLatin1(tip));
        action->setIconText(QString::fromLatin1(tip));
        toolBar_->addAction(action);
    };
    tool(ID_OPTIONS_ENGINEERING, "Engineering");
    tool(ID_ENABLE_POLLING, "Enable polling");
    tool(ID_DISABLE_POLLING, "Disable polling");
    tool(ID_POLLING_OPTIONS, "Edit polling options");
    tool(ID_SIGNAL_HISTORY, "Signal history");
    toolBar_->addSeparator();
    tool(ID_WRITE_KEY, kTextWriteKey);
    toolBar_->addSeparator();
    tool(ID_RESTORE_DEFAULTS, "Restore defaults");
    ApplyToolbarImages();
}

void CTavrin_rx_ctrl_v2Dlg::ApplyToolbarImages() {
    if (!toolBar_) return;
    for (QAction* action : toolBar_->actions()) {
        const QIcon image = ToolbarImage(action->property("cmdId").toInt(), palette());
        if (!image.isNull()) action->setIcon(image);
    }
}

QAction* CTavrin_rx_ctrl_v2Dlg::CommandAction(int commandId) const {
    auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

void CTavrin_rx_ctrl_v2Dlg::ShowPollingState() {
    const bool on = AppSettings.PollingEnabled != 0;
    if (QAction* a = CommandAction(ID_OPTIONS_POLLING))
        a->setText(on ? QStringLiteral("Disable &polling") : QStringLiteral("Enable &polling"));
    pollingLabel_->setText(QString::fromLatin1(on ? kTextPollingEnabled : kTextPollingDisabled));
    if (QAction* a = CommandAction(ID_ENABLE_POLLING)) a->setVisible(!on);
    if (QAction* a = CommandAction(ID_DISABLE_POLLING)) a->setVisible(on);
}
