// The core's events on Qt: an IUnitEvents that the link, the connect threads
// and the poll thread call from any thread, and that hands each event to the
// user-interface thread as a Qt signal, in the order called.
#pragma once
#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "link/unit_events.h"

struct SendState;  // a sent event waiting to be handled

// One event waiting for the user-interface thread: the emission of its signal.
struct QueuedEvent {
    std::function<void()> deliver;
    std::shared_ptr<SendState> send;  // set for an event sent from another thread
};

class QtUnitEvents : public QObject, public IUnitEvents {
    Q_OBJECT
public:
    explicit QtUnitEvents(QObject* parent = nullptr);
    ~QtUnitEvents() override;

    // Posted: queued, delivered later as the signal of the same name.
    void LampChanged(Lamp lamp, LampState state) override;
    void ValueUpdated(ValueTable table, const ParamEntry& row) override;
    void GraphSample(const ParamEntry& row) override;
    void UnitAlive() override;
    void LinkLost() override;
    void PollCycleDone(const PollCycleReport& report) override;
    // Sent: on the user-interface thread the signal is emitted at once; from
    // another thread the call waits until it has been (or Shutdown).
    void ConnectDone(ConnectResult result) override;
    bool WindowExists() const override { return exists_.load(); }

    void SetWindowExists(bool exists) { exists_.store(exists); }
    // Posts a call of `call` on the user-interface thread, in line with the
    // events (a window's own news from other threads).
    void Post(std::function<void()> call);
    // Answers every waiting sender and drops later events; called before the
    // window's workers are stopped so that none of them waits for it forever.
    void Shutdown();

    // Puts an event held during a fixed wait back in front of the queue, to be
    // delivered from the event loop once the waiting operation has returned.
    void Requeue(QueuedEvent event);

signals:
    void lampChanged(Lamp lamp, LampState state);
    void valueUpdated(ValueTable table, const ParamEntry& row);
    void graphSample(const ParamEntry& row);
    void unitAlive();
    void linkLost();
    void pollCycleDone(const PollCycleReport& report);
    void connectDone(ConnectResult result);

private:
    void Send(std::function<void()> deliver);
    void Deliver(QueuedEvent& event);
    // The events travel in this object's own queue, guarded by its own lock;
    // Qt's event queue only carries the wake-up call.
    Q_INVOKABLE void Drain();
    void Enqueue(QueuedEvent event);

    std::atomic<bool> exists_{true};
    std::atomic<bool> shutDown_{false};
    std::mutex queueLock_;
    std::deque<QueuedEvent> queue_;
};

// The waiter of the desktop program: for the length of a fixed wait the windows
// keep being painted but take no user input; events that arrive meanwhile are
// held and delivered once the wait is over.
void InstallGuiWaiter();
bool InFixedWait();
