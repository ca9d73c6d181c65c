// Shared parts of the dialog tests: a temporary program folder, the simulated
// unit on a pseudo-terminal with a real link, recorded prompts and windows,
// and a helper that acts on the next modal dialog.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
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
#include "gui/recording_prompts.h"
#include "ui/qt_page.h"
#include "ui/program_icon.h"
#include "link/remote_control.h"
#include "platform/clock.h"
#include "platform/program_folder.h"
#include "sim/sim_unit.h"
#include "support/recording_target.h"
#include "support/sim_rig.h"
#include "support/temp_folder.h"

// The keyboard entry of the window system, as Qt's own test library uses it:
// a key typed here goes through the shortcut map like a real keystroke.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace dlgtest {

// Types Ctrl+<key> into `target` as the window system would deliver it.
inline void TypeControlKey(QWidget* target, int key) {
    if (qt_sendShortcutOverrideEvent(target, 0, key, Qt::ControlModifier, QString(), false, 1)) return;
    QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
    QApplication::sendEvent(target, &press);
}

// A temporary folder, and a window that only records what it is sent.
using testsupport::TempFolder;
using Message = testsupport::Posted;
using testsupport::RecordingTarget;

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
class SerialRig : public testsupport::SimRig {
public:
    explicit SerialRig(bool k840 = false) : SimRig(Options(k840)) {
        StartUnit();
        EXPECT_TRUE(Open());
    }

private:
    static testsupport::SimRigOptions Options(bool k840) {
        testsupport::SimRigOptions o;
        o.k840 = k840;
        o.logName = "rx.log";
        // Short read time-outs keep the silent-unit cases quick.
        o.readConstantMs = 60;
        return o;
    }
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
