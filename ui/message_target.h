// Window messages on Qt: a QObject that the link, the connect threads and the
// poll thread post to or send to, delivering on the user-interface thread.
#pragma once
#include <QObject>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "link/messages.h"

// One window message as the window receives it: its number, two numbers and,
// for WM_PARAM_UPDATED and WM_GRAPH_SAMPLE, the table row it is about.
struct WindowMessage {
    uint32_t msg = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    const ParamEntry* row = nullptr;
};

using MessageHandler = std::function<intptr_t(const WindowMessage& message)>;
// A handler of messages that carry numbers only.
using NumberMessageHandler = std::function<intptr_t(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;

struct SendState;  // a sent message waiting for its result

// One message waiting for the user-interface thread.
struct QueuedMessage {
    WindowMessage message;
    std::shared_ptr<SendState> send;  // set for a message sent from another thread
};

class QtMessageTarget : public QObject, public IMessageTarget {
    Q_OBJECT
public:
    explicit QtMessageTarget(MessageHandler handler, QObject* parent = nullptr);
    explicit QtMessageTarget(NumberMessageHandler handler, QObject* parent = nullptr);
    ~QtMessageTarget() override;

    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) override;
    // On the user-interface thread the handler runs at once; from another thread
    // the message is queued and the caller waits for the result (0 after Shutdown).
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    bool WindowExists() const override { return exists_.load(); }

    void SetWindowExists(bool exists) { exists_.store(exists); }
    // Answers every waiting sender with 0 and drops later messages; called before
    // the window's workers are stopped so that none of them waits for it forever.
    void Shutdown();

    // Puts a message held during a fixed wait back in front of the queue, to be
    // delivered from the event loop once the waiting operation has returned.
    void Requeue(QueuedMessage message);

private:
    void Deliver(QueuedMessage& message);
    // The messages travel in this object's own queue, guarded by its own lock;
    // Qt's event queue only carries the wake-up call.
    Q_INVOKABLE void Drain();
    void Enqueue(QueuedMessage message);

    MessageHandler handler_;
    std::atomic<bool> exists_{true};
    std::atomic<bool> shutDown_{false};
    std::mutex queueLock_;
    std::deque<QueuedMessage> queue_;
};

// The waiter of the desktop program: for the length of a fixed wait the windows
// keep being painted but take no user input; window messages that arrive
// meanwhile are held and delivered once the wait is over.
void InstallGuiWaiter();
bool InFixedWait();
