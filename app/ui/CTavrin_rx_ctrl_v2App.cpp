#include "app/ui/CTavrin_rx_ctrl_v2App.h"

#include <QApplication>
#include <QSocketNotifier>

#include "app/settings.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "ui/accessible.h"
#include "ui/unit_events_qt.h"
#include "ui/program_icon.h"
#include "ui/prompts.h"
#include "params/codec.h"
#include "platform/stop_signals.h"
#include "platform/user_folders.h"

CTavrin_rx_ctrl_v2App::CTavrin_rx_ctrl_v2App() = default;

CTavrin_rx_ctrl_v2App::~CTavrin_rx_ctrl_v2App() { Exit(); }

void CTavrin_rx_ctrl_v2App::Startup(int stopSignals) {
    if (stopSignals >= 0) {
        // SIGTERM and SIGINT close the program as the main window's close
        // does, the settings saved on the way out (Exit): no dialog waits any
        // more, every event loop ends, and the main window runs no further.
        auto* notifier = new QSocketNotifier(stopSignals, QSocketNotifier::Read, qApp);
        QObject::connect(notifier, &QSocketNotifier::activated, qApp, [this, stopSignals] {
            TakeStopSignal(stopSignals);
            stopRequested_ = true;
            EndPrompts();
            if (mainWindow_ && mainWindow_->isVisible()) mainWindow_->close();
            QApplication::exit(0);
        });
    }
    // The socket library needs no start on this system.
    const std::string folder = SettingsFolder();
    settingsPath_ = folder.empty() ? std::string() : SettingsFilePath(folder);
    AppSettings = AppSettingsData{};
    ReadSettingsFile(settingsPath_, AppSettings);
    ApplyStartupDefaults(AppSettings);
    UserIcon() = AppSettings.IconFile ? LoadIconFile(*AppSettings.IconFile) : QIcon();
    InstallGuiWaiter();
    InstallAccessibleNames();
    exited_ = false;
}

CTavrin_rx_ctrl_v2Dlg& CTavrin_rx_ctrl_v2App::CreateMainWindow() {
    mainWindow_ = std::make_unique<CTavrin_rx_ctrl_v2Dlg>();
    mainWindow_->Initialise();
    return *mainWindow_;
}

int CTavrin_rx_ctrl_v2App::RunMainWindow() {
    if (!mainWindow_) CreateMainWindow();
    // The main window is an ordinary top-level window, not a modal one: a
    // modal main window would block input to every window that is not its
    // child, the engineering window among them. Its close ends the run.
    mainWindow_->setModal(false);
    QObject::connect(mainWindow_.get(), &QDialog::finished, qApp, [](int code) { QApplication::exit(code); });
    if (stopRequested_) return 0;
    mainWindow_->show();
    const int result = QApplication::exec();
    mainWindow_.reset();
    return result;
}

void CTavrin_rx_ctrl_v2App::Exit() {
    if (exited_) return;
    exited_ = true;
    mainWindow_.reset();
    if (!settingsPath_.empty() && !EnsureSettingsFolder().empty()) WriteSettingsFile(settingsPath_, AppSettings);
}
