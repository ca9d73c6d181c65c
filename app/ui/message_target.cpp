#include "app/ui/message_target.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/clock.h"

struct SendState {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    intptr_t result = 0;

    void Finish(intptr_t value) {
        std::lock_guard<std::mutex> lock(mutex);
        if (done) return;
        result = value;
        done = true;
        cv.notify_all();
    }
};

namespace {

struct HeldMessage {
    QPointer<QtMessageTarget> target;
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    std::shared_ptr<SendState> send;
};

int g_waitDepth = 0;                 // user-interface thread only
std::vector<HeldMessage> g_held;     // user-interface thread only

bool OnGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void ReleaseHeldMessages() {
    std::vector<HeldMessage> held;
    held.swap(g_held);
    for (HeldMessage& m : held) {
        if (m.target) {
            QCoreApplication::postEvent(m.target,
                                        new WindowMessageEvent(m.msg, m.wParam, m.lParam, m.send));
        } else if (m.send) {
            m.send->Finish(0);
        }
    }
}

void GuiWait(uint32_t ms) {
    if (!OnGuiThread()) {
        // A worker's wait: plain sleep.
        QThread::msleep(ms);
        return;
    }
    ++g_waitDepth;
    QDeadlineTimer deadline(static_cast<qint64>(ms));
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        qint64 left = deadline.remainingTime();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
    }
    --g_waitDepth;
    if (g_waitDepth == 0) ReleaseHeldMessages();
}

}  // namespace

WindowMessageEvent::WindowMessageEvent(uint32_t m, uintptr_t w, intptr_t l,
                                       std::shared_ptr<SendState> s)
    : QEvent(Type()), msg(m), wParam(w), lParam(l), send(std::move(s)) {}

WindowMessageEvent::~WindowMessageEvent() {
    if (send) send->Finish(0);
}

QEvent::Type WindowMessageEvent::Type() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QtMessageTarget::QtMessageTarget(MessageHandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

QtMessageTarget::~QtMessageTarget() { Shutdown(); }

void QtMessageTarget::PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (shutDown_.load()) return;
    QCoreApplication::postEvent(this, new WindowMessageEvent(msg, wParam, lParam));
}

intptr_t QtMessageTarget::SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (shutDown_.load()) return 0;
    if (OnGuiThread()) return handler_ ? handler_(msg, wParam, lParam) : 0;
    auto state = std::make_shared<SendState>();
    QCoreApplication::postEvent(this, new WindowMessageEvent(msg, wParam, lParam, state));
    std::unique_lock<std::mutex> lock(state->mutex);
    // The event answers when it is handled, held and dropped, or deleted
    // unhandled, so this wait always ends.
    state->cv.wait(lock, [&] { return state->done; });
    return state->result;
}

void QtMessageTarget::Shutdown() {
    shutDown_.store(true);
    // Wake every sender waiting on this target (their events are answered 0
    // when they are dropped).
    for (HeldMessage& m : g_held)
        if (m.target == this && m.send) m.send->Finish(0);
    QCoreApplication::removePostedEvents(this, WindowMessageEvent::Type());
}

void QtMessageTarget::customEvent(QEvent* event) {
    if (event->type() != WindowMessageEvent::Type()) return;
    auto& message = static_cast<WindowMessageEvent&>(*event);
    if (g_waitDepth > 0) {
        g_held.push_back(
            HeldMessage{this, message.msg, message.wParam, message.lParam, std::move(message.send)});
        return;
    }
    Deliver(message);
}

void QtMessageTarget::Deliver(WindowMessageEvent& event) {
    if (shutDown_.load()) {
        if (event.send) event.send->Finish(0);
        return;
    }
    intptr_t result = handler_ ? handler_(event.msg, event.wParam, event.lParam) : 0;
    if (event.send) event.send->Finish(result);
}

void InstallGuiWaiter() { SetWaiter(GuiWait); }
bool InFixedWait() { return g_waitDepth > 0; }
