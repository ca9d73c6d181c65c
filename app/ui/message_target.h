// Window messages on Qt: a QObject that the link, the connect threads and the
// poll thread post to or send to, delivering on the user-interface thread.
#pragma once
#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "link/messages.h"

using MessageHandler = std::function<intptr_t(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;

struct SendState;  // a sent message waiting for its result

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                       std::shared_ptr<SendState> send = nullptr);
    // A sent message that is dropped unhandled answers its sender with 0.
    ~WindowMessageEvent() override;
    static QEvent::Type Type();
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    std::shared_ptr<SendState> send;  // set for a message sent from another thread
};

class QtMessageTarget : public QObject, public IMessageTarget {
    Q_OBJECT
public:
    explicit QtMessageTarget(MessageHandler handler, QObject* parent = nullptr);
    ~QtMessageTarget() override;

    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    // On the user-interface thread the handler runs at once; from another thread
    // the message is queued and the caller waits for the result (0 after Shutdown).
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    bool WindowExists() const override { return exists_.load(); }

    void SetWindowExists(bool exists) { exists_.store(exists); }
    // Answers every waiting sender with 0 and drops later messages; called before
    // the window's workers are stopped so that none of them waits for it forever.
    void Shutdown();

protected:
    void customEvent(QEvent* event) override;

private:
    void Deliver(WindowMessageEvent& event);
    MessageHandler handler_;
    std::atomic<bool> exists_{true};
    std::atomic<bool> shutDown_{false};
};

// The waiter of the desktop program: for the length of a fixed wait the windows
// keep being painted but take no user input; window messages that arrive
// meanwhile are held and delivered once the wait is over.
void InstallGuiWaiter();
bool InFixedWait();
