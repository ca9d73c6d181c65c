// The desktop program: reads its settings, runs the main window, saves the
// settings. Its command line has only --version and --help; it takes no
// environment of its own.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/ui/CTavrin_rx_ctrl_v2App.h"
#include "platform/version.h"
#include "platform/std_streams.h"
#include "platform/stop_signals.h"

namespace {

const char kUsage[] =
    "Usage: tavrin_rx_ctrl [--version | --help]\n"
    "The desktop program for a Tavrin receiver unit. It takes no other options;\n"
    "its settings are kept in its settings file (see the About box for where).\n";

// 0 when the command line asked only for a text and the program ends, -1 to run on.
int HandleCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tavrin_rx_ctrl %s\n", ProgramVersion());
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        // Everything else (Qt's own -platform, -style, ...) is left to Qt.
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (!OpenMissingStandardStreams()) return 1;
    const int handled = HandleCommandLine(argc, argv);
    if (handled >= 0) return handled;
    // From here on SIGTERM and SIGINT are kept until the program can close
    // as the main window's close button does (the settings saved).
    const int stopSignals = StopSignalDescriptor();
    if (const char* missing = MissingDisplay(); *missing) {
        std::fprintf(stderr, "tavrin_rx_ctrl: %s\n", missing);
        return 1;
    }
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin_rx_ctrl"));
    QApplication::setApplicationVersion(QString::fromLatin1(ProgramVersion()));
    // The desktop entry it is installed with, so that launchers match the window to it.
    QApplication::setDesktopFileName(QStringLiteral("org.tavrin.RxCtrl"));
    CTavrin_rx_ctrl_v2App app;
    app.Startup(stopSignals);
    app.CreateMainWindow();
    app.RunMainWindow();
    app.Exit();
    return 0;
}
