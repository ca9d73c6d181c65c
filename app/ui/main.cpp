// The desktop program: reads its settings, runs the main window, saves the
// settings. It takes no command line and no environment of its own.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/ui/CTavrin_rx_ctrl_v2App.h"

int main(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool headless = platform && *platform;
    if (!headless && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "tavrin_rx_ctrl: no display. Set DISPLAY to an X server, or run it under a "
                     "virtual one, e.g. 'xvfb-run ./run.sh'.\n");
        return 1;
    }
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin_rx_ctrl"));
    CTavrin_rx_ctrl_v2App app;
    app.Startup();
    app.CreateMainWindow();
    app.RunMainWindow();
    app.Exit();
    return 0;
}
