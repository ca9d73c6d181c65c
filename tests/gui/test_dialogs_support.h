// Shared parts of the dialog tests: a temporary program folder, the simulated
// unit on a pseudo-terminal with a real link, recorded prompts and windows,
// and a helper that acts on the next modal dialog.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/settings.h"
#include "tests/gui/recording_prompts.h"
#include "ui/qt_page.h"
#include "link/messages.h"
#include "link/remote_control.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"

namespace dlgtest {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/tavrin_dialogs_XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made ? made : "/tmp";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

struct Message {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
};

// A window that only records what it is sent.
class RecordingTarget : public IMessageTarget {
public:
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override { Record(msg, wParam, lParam); }
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        Record(msg, wParam, lParam);
        return 0;
    }
    std::vector<Message> Of(uint32_t msg) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Message> out;
        for (const Message& m : messages_)
            if (m.msg == msg) out.push_back(m);
        return out;
    }

private:
    void Record(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back({msg, wParam, lParam});
    }
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

// Installs recorded prompts for the length of a test.
class PromptRecorder {
public:
    PromptRecorder() { SetPrompts(&prompts); }
    ~PromptRecorder() { SetPrompts(nullptr); }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const PromptMessage& m : prompts.messages) out.push_back(m.text);
        return out;
    }
    RecordingPrompts prompts;
};

// The simulated unit on a pseudo-terminal reached as COM1, and a real link
// with a transaction log in the temporary program folder.
class SerialRig {
public:
    explicit SerialRig(bool k840 = false) {
        std::filesystem::create_directories(folder.path + "/ports");
        SetProgramFolder(folder.path);
        sim::SimOptions options;
        options.ptyLinkPath = folder.path + "/ports/COM1";
        options.k840 = k840;
        options.restartMs = 0;
        options.drift = false;
        unit = std::make_unique<sim::SimUnit>(options);
        std::string error;
        started = unit->Start(&error);
        EXPECT_TRUE(started) << error;
        link = std::make_unique<CFerritRemoteControl>(&window);
        link->closeOnSendError = false;
        link->closeOnReceiveError = false;
        link->OpenLog(LogPath());
        // Short read time-outs keep the silent-unit cases quick.
        link->readTotalTimeoutConstant = 60;
        opened = link->OpenSerialPort(0) == kResultOk;
        EXPECT_TRUE(opened);
    }
    ~SerialRig() {
        link.reset();
        unit->Stop();
    }
    std::string LogPath() const { return folder.File("rx.log"); }

    TempFolder folder;
    RecordingTarget window;
    std::unique_ptr<sim::SimUnit> unit;
    std::unique_ptr<CFerritRemoteControl> link;
    bool started = false;
    bool opened = false;
};

// Runs `action` on the next modal dialog once its event loop runs.
inline void OnNextModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            ADD_FAILURE() << "no modal dialog";
            return;
        }
        action(modal);
    });
}

template <typename W>
W* Control(const QWidget* root, int id) {
    return qobject_cast<W*>(FindControl(root, id));
}

// Spins the event loop until `done` holds, for at most `limitMs` (a guard
// against hanging, never an assertion on speed).
inline bool WaitUntil(const std::function<bool()>& done, int limitMs = 20000) {
    const uint64_t end = TickMs() + uint64_t(limitMs);
    while (!done()) {
        if (TickMs() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// With TAVRIN_GRAB_DIR set, saves `widget` as <name>.png there for a look by eye.
inline void GrabIfAsked(QWidget* widget, const char* name) {
    if (const char* dir = std::getenv("TAVRIN_GRAB_DIR"))
        widget->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

}  // namespace dlgtest
