#include "ui/message_target.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <condition_variable>
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
    QueuedMessage message;
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
    // Back in front of their queues, last first, so that the order stays.
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->target) it->target->Requeue(std::move(it->message));
        else if (it->message.send) it->message.send->Finish(0);
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

QtMessageTarget::QtMessageTarget(MessageHandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

QtMessageTarget::QtMessageTarget(NumberMessageHandler handler, QObject* parent)
    : QtMessageTarget(MessageHandler([handler = std::move(handler)](const WindowMessage& m) -> intptr_t {
          return handler ? handler(m.msg, m.wParam, m.lParam) : 0;
      }),
                      parent) {}

QtMessageTarget::~QtMessageTarget() { Shutdown(); }

void QtMessageTarget::Enqueue(QueuedMessage message) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_back(std::move(message));
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void QtMessageTarget::Requeue(QueuedMessage message) {
    if (shutDown_.load()) {
        if (message.send) message.send->Finish(0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_front(std::move(message));
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void QtMessageTarget::PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (shutDown_.load()) return;
    Enqueue(QueuedMessage{WindowMessage{msg, wParam, lParam, nullptr}, nullptr});
}

void QtMessageTarget::PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) {
    if (shutDown_.load()) return;
    Enqueue(QueuedMessage{WindowMessage{msg, wParam, 0, row}, nullptr});
}

intptr_t QtMessageTarget::SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    if (shutDown_.load()) return 0;
    const WindowMessage message{msg, wParam, lParam, nullptr};
    if (OnGuiThread()) return handler_ ? handler_(message) : 0;
    auto state = std::make_shared<SendState>();
    Enqueue(QueuedMessage{message, state});
    // Shutdown (or the end of the wait that holds it) answers a message that
    // is never handled, so this wait always ends.
    std::unique_lock<std::mutex> lock(state->mutex);
    state->cv.wait(lock, [&] { return state->done; });
    return state->result;
}

void QtMessageTarget::Shutdown() {
    shutDown_.store(true);
    std::deque<QueuedMessage> dropped;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        dropped.swap(queue_);
    }
    for (QueuedMessage& m : dropped)
        if (m.send) m.send->Finish(0);
    if (OnGuiThread()) {
        for (HeldMessage& h : g_held)
            if (h.target == this && h.message.send) h.message.send->Finish(0);
    }
}

void QtMessageTarget::Drain() {
    for (;;) {
        QueuedMessage message;
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            if (queue_.empty()) return;
            message = std::move(queue_.front());
            queue_.pop_front();
        }
        if (g_waitDepth > 0) {
            g_held.push_back(HeldMessage{this, std::move(message)});
            continue;
        }
        Deliver(message);
    }
}

void QtMessageTarget::Deliver(QueuedMessage& message) {
    if (shutDown_.load()) {
        if (message.send) message.send->Finish(0);
        return;
    }
    intptr_t result = handler_ ? handler_(message.message) : 0;
    if (message.send) message.send->Finish(result);
}

void InstallGuiWaiter() { SetWaiter(GuiWait); }
bool InFixedWait() { return g_waitDepth > 0; }
