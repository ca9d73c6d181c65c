#include "ui/unit_events_qt.h"

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

    void Finish() {
        std::lock_guard<std::mutex> lock(mutex);
        if (done) return;
        done = true;
        cv.notify_all();
    }
};

namespace {

struct HeldEvent {
    QPointer<QtUnitEvents> target;
    QueuedEvent event;
};

int g_waitDepth = 0;                 // user-interface thread only
std::vector<HeldEvent> g_held;     // user-interface thread only

bool OnGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void ReleaseHeldEvents() {
    std::vector<HeldEvent> held;
    held.swap(g_held);
    // Back in front of their queues, last first, so that the order stays.
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->target) it->target->Requeue(std::move(it->event));
        else if (it->event.send) it->event.send->Finish();
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
    if (g_waitDepth == 0) ReleaseHeldEvents();
}

}  // namespace

QtUnitEvents::QtUnitEvents(QObject* parent) : QObject(parent) {}

QtUnitEvents::~QtUnitEvents() { Shutdown(); }

void QtUnitEvents::Enqueue(QueuedEvent event) {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_back(std::move(event));
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void QtUnitEvents::Requeue(QueuedEvent event) {
    if (shutDown_.load()) {
        if (event.send) event.send->Finish();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_.push_front(std::move(event));
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void QtUnitEvents::Post(std::function<void()> call) {
    if (shutDown_.load()) return;
    Enqueue(QueuedEvent{std::move(call), nullptr});
}

void QtUnitEvents::Send(std::function<void()> deliver) {
    if (shutDown_.load()) return;
    if (OnGuiThread()) {
        deliver();
        return;
    }
    auto state = std::make_shared<SendState>();
    Enqueue(QueuedEvent{std::move(deliver), state});
    // Shutdown (or the end of the wait that holds it) answers an event that
    // is never handled, so this wait always ends.
    std::unique_lock<std::mutex> lock(state->mutex);
    state->cv.wait(lock, [&] { return state->done; });
}

void QtUnitEvents::LampChanged(Lamp lamp, LampState state) {
    Post([this, lamp, state] { emit lampChanged(lamp, state); });
}

void QtUnitEvents::ValueUpdated(ValueTable table, const ParamEntry& row) {
    Post([this, table, &row] { emit valueUpdated(table, row); });
}

void QtUnitEvents::GraphSample(const ParamEntry& row) {
    Post([this, &row] { emit graphSample(row); });
}

void QtUnitEvents::UnitAlive() {
    Post([this] { emit unitAlive(); });
}

void QtUnitEvents::LinkLost() {
    Post([this] { emit linkLost(); });
}

void QtUnitEvents::PollCycleDone(const PollCycleReport& report) {
    Post([this, report] { emit pollCycleDone(report); });
}

void QtUnitEvents::ConnectDone(ConnectResult result) {
    Send([this, result] { emit connectDone(result); });
}

void QtUnitEvents::Shutdown() {
    shutDown_.store(true);
    std::deque<QueuedEvent> dropped;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        dropped.swap(queue_);
    }
    for (QueuedEvent& e : dropped)
        if (e.send) e.send->Finish();
    if (OnGuiThread()) {
        for (HeldEvent& h : g_held)
            if (h.target == this && h.event.send) h.event.send->Finish();
    }
}

void QtUnitEvents::Drain() {
    for (;;) {
        QueuedEvent event;
        {
            std::lock_guard<std::mutex> lock(queueLock_);
            if (queue_.empty()) return;
            event = std::move(queue_.front());
            queue_.pop_front();
        }
        if (g_waitDepth > 0) {
            g_held.push_back(HeldEvent{this, std::move(event)});
            continue;
        }
        Deliver(event);
    }
}

void QtUnitEvents::Deliver(QueuedEvent& event) {
    if (!shutDown_.load() && event.deliver) event.deliver();
    if (event.send) event.send->Finish();
}

void InstallGuiWaiter() { SetWaiter(GuiWait); }
bool InFixedWait() { return g_waitDepth > 0; }
