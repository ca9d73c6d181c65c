// Shared parts of the main-window tests: the whole desktop program (application
// object and main window) in a temporary program folder, with the simulated
// unit reached as COM1 (a link in the folder's "ports") and/or over loopback
// TCP, recorded prompts and a recording waiter.
#pragma once
#include "support/loopback.h"
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "app/settings.h"
#include "app/ui/CTavrin_rx_ctrl_v2App.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "gui/recording_prompts.h"
#include "ui/control_ids.h"
#include "ui/program_icon.h"
#include "ui/qt_page.h"
#include "link/frame.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"
#include "support/temp_folder.h"

namespace guitest {

// A temporary program folder with an empty "ports" folder.
class Folder : public testsupport::TempFolder {
public:
    Folder() { std::filesystem::create_directories(path + "/ports"); }
};

using testsupport::RandomLoopbackAddress;

struct RigOptions {
    bool serial = true;        // the unit on COM1
    bool tcp = false;          // the unit on a loopback address, port 9999
    bool k840 = false;
    bool startUnit = true;     // false: no unit at all
    // Hides every serial device of the machine behind links to /dev/null, so
    // that only the simulated unit (if any) is a port.
    bool hideMachinePorts = true;
    // Settings written into the folder before start; null: no settings file.
    std::function<void(AppSettingsData&)> settings = [](AppSettingsData& s) {
        // Short serial time-outs keep a silent unit's exchanges quick.
        s.ReadTotalTimeoutConstant = 150;
        s.ReadIntervalTimeout = 100;
        s.AppTitle = kDefaultAppTitle;
    };
};

class Rig {
public:
    explicit Rig(RigOptions options = {}) : options_(std::move(options)) {
        SetProgramFolder(folder.path);
        SetPrompts(&prompts);
        if (options_.hideMachinePorts) {
            for (int n = 1; n <= 96; ++n) {
                std::error_code ec;
                std::filesystem::create_symlink("/dev/null", folder.path + "/ports/COM" + std::to_string(n), ec);
            }
        }
        if (options_.startUnit) {
            sim::SimOptions so;
            so.serial = options_.serial;
            if (options_.serial) so.ptyLinkPath = folder.path + "/ports/COM1";
            if (options_.tcp) so.tcpAddress = RandomLoopbackAddress();
            so.k840 = options_.k840;
            so.restartMs = 0;
            so.drift = false;
            unit = std::make_unique<sim::SimUnit>(so);
            std::string error;
            EXPECT_TRUE(unit->Start(&error)) << error;
        }
        if (options_.settings) {
            AppSettingsData s;
            options_.settings(s);
            EXPECT_TRUE(WriteSettingsFile(SettingsFilePath(folder.path), s));
        }
    }
    ~Rig() {
        Exit();
        SetPrompts(nullptr);
        SetWaiter(nullptr);
        if (unit) unit->Stop();
    }

    // Start-up as the program does it, with the recording waiter.
    CTavrin_rx_ctrl_v2Dlg& Start() {
        app = std::make_unique<CTavrin_rx_ctrl_v2App>();
        app->Startup();
        SetWaiter([this](uint32_t ms) {
            std::lock_guard<std::mutex> lock(waitMutex);
            waits.push_back(ms);
        });
        return app->CreateMainWindow();
    }
    // Closes the main window and ends the program (settings written).
    void Exit() {
        if (!app) return;
        if (app->MainWindow()) app->MainWindow()->close();
        app->Exit();
        app.reset();
    }
    CTavrin_rx_ctrl_v2Dlg& Window() { return *app->MainWindow(); }

    std::vector<uint32_t> Waits() {
        std::lock_guard<std::mutex> lock(waitMutex);
        return waits;
    }
    void ClearWaits() {
        std::lock_guard<std::mutex> lock(waitMutex);
        waits.clear();
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const PromptMessage& m : prompts.messages) out.push_back(m.text);
        return out;
    }
    // Makes the unit answer a request as if it came over the wire ("0001wdloa;3;").
    std::string Tell(const std::string& text) {
        std::string frame;
        EXPECT_TRUE(BuildRequestFrame("\x02" + text, frame));
        return unit->HandleFrame(frame);
    }
    // Requests the unit took whose text (after STX and address) starts with `body`.
    std::vector<std::string> RequestsStarting(const std::string& body) const {
        std::vector<std::string> out;
        for (const std::string& r : unit->Requests())
            if (r.size() > 5 && r.compare(5, body.size(), body) == 0) out.push_back(r.substr(5));
        return out;
    }

    Folder folder;
    RecordingPrompts prompts;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<CTavrin_rx_ctrl_v2App> app;
    std::mutex waitMutex;
    std::vector<uint32_t> waits;

private:
    RigOptions options_;
};

template <typename W>
W* Ctl(const QWidget* root, int id) {
    return qobject_cast<W*>(FindControl(root, id));
}

// Sets the polling interval, and switches poll item `itemOff` off when given,
// as the operator does: through the Polling options and their OK. The running
// poll thread reads these settings; a test never writes them behind it.
inline void ApplyPollingOptions(CTavrin_rx_ctrl_v2Dlg& w, int intervalMs, int itemOff = -1) {
    QTimer::singleShot(0, [intervalMs, itemOff] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr) << "no Polling options";
        if (itemOff >= 0) Ctl<QCheckBox>(dialog, ids::polling_list::kFirstCheck + 10 * itemOff)->click();
        Ctl<QLineEdit>(dialog, ids::poll_misc::kInterval)->setText(QString::number(intervalMs));
        Ctl<QPushButton>(dialog, ids::kOk)->click();
    });
    w.RunCommand(ID_POLLING_OPTIONS);
}

inline int LampIcon(const QWidget* window, int id) {
    QLabel* lamp = Ctl<QLabel>(window, id);
    return lamp ? lamp->property("iconId").toInt() : -1;
}

// Spins the event loop until `done` holds, at most `limitMs` (a guard against
// hanging, never an assertion on speed).
inline bool SpinUntil(const std::function<bool()>& done, int limitMs = 30000) {
    const uint64_t end = TickMs() + uint64_t(limitMs);
    while (!done()) {
        if (TickMs() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A key pressed and released on `w`, delivered as the window system would.
inline void KeyClick(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

// Saves a picture of `w` for a look by eye, when TAVRIN_SHOTS names a folder.
inline void Shot(QWidget* w, const std::string& name) {
    const char* dir = std::getenv("TAVRIN_SHOTS");
    if (!dir || !*dir) return;
    w->grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

// Polling stays out of the request log: the poll thread is idle, and a silent
// unit is noticed quickly.
inline RigOptions Quiet() {
    RigOptions o;
    o.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 150;
        s.AppTitle = kDefaultAppTitle;
        s.PollIntervalMs = 600000;
        s.PollingEnabled = 0;
    };
    return o;
}

// Polling every 100 ms (the fastest allowed) with short serial time-outs, so
// that a unit that goes or comes back is noticed within a few cycles.
inline RigOptions FastPolling() {
    RigOptions o;
    o.settings = [](AppSettingsData& s) {
        s.ReadTotalTimeoutConstant = 100;
        s.ReadIntervalTimeout = 50;
        s.PollIntervalMs = 100;
        s.AppTitle = kDefaultAppTitle;
    };
    return o;
}

// The write requests the unit received, from the operation letter to the
// second ';' ("w1ipf;1.234500;").
inline std::vector<std::string> Writes(const sim::SimUnit& unit) {
    std::vector<std::string> out;
    for (const std::string& r : unit.Requests())
        if (r.size() > 6 && r[5] == 'w') out.push_back(r.substr(5, r.size() - 7));
    return out;
}

}  // namespace guitest
