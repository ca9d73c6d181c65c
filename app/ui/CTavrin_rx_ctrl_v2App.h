// The application object: start-up (settings, defaults, icon), the main
// window's run, and the settings written back at exit.
#pragma once
#include <memory>
#include <string>

class CTavrin_rx_ctrl_v2Dlg;

class CTavrin_rx_ctrl_v2App {
public:
    CTavrin_rx_ctrl_v2App();
    ~CTavrin_rx_ctrl_v2App();

    // Steps before the main window: program folder, settings file, defaults,
    // the user's icon, the GUI waiter. `stopSignals` (StopSignalDescriptor,
    // or -1): from then on SIGTERM and SIGINT end the program as the main
    // window's close does, whatever dialog is open.
    void Startup(int stopSignals = -1);
    // Builds the main window and initialises it (connecting to the unit).
    CTavrin_rx_ctrl_v2Dlg& CreateMainWindow();
    // Shows the main window and runs it until it closes; then destroys it.
    int RunMainWindow();
    // Destroys the main window (if any) and writes the settings file.
    void Exit();

    CTavrin_rx_ctrl_v2Dlg* MainWindow() { return mainWindow_.get(); }
    const std::string& SettingsPath() const { return settingsPath_; }

private:
    std::string settingsPath_;
    std::unique_ptr<CTavrin_rx_ctrl_v2Dlg> mainWindow_;
    bool exited_ = false;
    bool stopRequested_ = false;
};
