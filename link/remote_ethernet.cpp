// The Ethernet transport's connection handling: selecting and closing the
// transport, synchronous connections and the cancellable connect threads.
#include <chrono>
#include <thread>

#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/debug_out.h"

namespace {

constexpr auto kWindowCheckInterval = std::chrono::milliseconds(100);

// The end of a cancelled connect attempt: the socket (if any) is closed and
// nothing is sent to the window.
void EndCancelled(SocketHandle s) {
    DebugOut("Thread cancelled\r\n");
    if (s != kNoSocket) {
        ShutdownAndClose(s);
        DebugOut("Socket shutdown and closed\r\n");
    }
}

void ConnectThreadMain(ConnectThreadRecord* record) {
    CFerritRemoteControl* const owner = record->owner;
    const ConnectHandle handle = record->threadHandle;
    auto cancelled = [record] { return record->cancelled.load() != 0; };
    auto finish = [owner, handle] { owner->RemoveConnectThread(handle); };

    if (record->waitWindow) {
        // The wait window is looked at under the list lock, after the cancel
        // flag: CancelConnectThread sets the flag under the same lock, so once it
        // has returned the caller may destroy the window.
        for (;;) {
            bool stop = false;
            bool exists = false;
            {
                std::lock_guard<std::mutex> lock(owner->connectThreadsLock);
                stop = cancelled();
                exists = !stop && record->waitWindow->WindowExists();
            }
            if (stop) {
                EndCancelled(kNoSocket);
                return finish();
            }
            if (exists) break;
            std::this_thread::sleep_for(kWindowCheckInterval);
        }
    }
    DebugOut("Attempt to create socket...\r\n");
    const SocketHandle s = CreateTcpSocket();
    if (s == kNoSocket) {
        DebugOut("Error at socket(): %ld\r\n", long(LastSocketError()));
        if (!cancelled()) record->notifyWindow->ConnectDone(ConnectResult::Failed);
        return finish();
    }
    if (cancelled()) {
        EndCancelled(s);
        return finish();
    }
    if (!SetReceiveTimeout(s, kSocketReceiveTimeoutMs)) {
        DebugOut("setsockopt failed error %d\r\n", LastSocketError());
    }
    if (cancelled()) {
        EndCancelled(s);
        return finish();
    }
    const int error = ConnectWithTimeout(s, record->ipAddress, kUnitTcpPort, kConnectTimeoutMs, &record->cancelled);
    if (error != 0 && cancelled()) {
        EndCancelled(s);
        return finish();
    }
    if (error != 0) {
        DebugOut("Failed to connect. Error %ld\r\n", long(error));
        CloseSocket(s);
        if (!cancelled()) record->notifyWindow->ConnectDone(ConnectResult::Failed);
        return finish();
    }
    DebugOut("Socket succesfully connected\r\n");
    if (cancelled()) {
        EndCancelled(s);
        return finish();
    }
    SocketHandle expected = kNoSocket;
    if (!record->socketSlot->compare_exchange_strong(expected, s)) {
        // The link got a socket meanwhile (ConnectSocket or Transact); keep that one.
        ShutdownAndClose(s);
    }
    if (!cancelled()) record->notifyWindow->ConnectDone(ConnectResult::Connected);
    finish();
}

}  // namespace

void CFerritRemoteControl::SelectEthernet(const std::string& address) {
    LinkGuard guard(LinkLock);
    ipAddress = address.substr(0, 15);
    mode = LinkModeEthernet;
    lostPortIndex = -1;   // the serial port is given up for Ethernet
    tcp_.Close();
    // Whatever the link was connected to before, over this address it is not
    // connected until an attempt succeeds.
    connected = 0;
}

void CFerritRemoteControl::CloseEthernet() {
    LinkGuard guard(LinkLock);
    if (HasSocket()) {
        tcp_.Close();
        connected = 0;
    }
    DebugOut("Ethernet connection closed\r\n");
}

int CFerritRemoteControl::ConnectSocket() {
    LinkGuard guard(LinkLock);
    return tcp_.Connect();
}

ConnectHandle CFerritRemoteControl::StartConnectThread(IUnitEvents* notifyWindow, IUnitEvents* waitWindow) {
    if (onConnectAttemptStart) onConnectAttemptStart();
    if (HasSocket()) return 0;
    std::lock_guard<std::mutex> lock(connectThreadsLock);
    auto record = std::make_unique<ConnectThreadRecord>();
    record->ipAddress = ipAddress;
    record->socketSlot = &socket;
    record->notifyWindow = notifyWindow;
    record->waitWindow = waitWindow;
    record->threadHandle = nextConnectHandle_++;
    record->owner = this;
    ConnectThreadRecord* raw = record.get();
    connectThreads.push_back(std::move(record));
    // The thread removes its record under this lock, so it cannot get there
    // before the handle and the thread object are in place.
    raw->thread = std::thread(ConnectThreadMain, raw);
    return raw->threadHandle;
}

void CFerritRemoteControl::CancelConnectThread(ConnectHandle handle) {
    std::lock_guard<std::mutex> lock(connectThreadsLock);
    for (auto& record : connectThreads) {
        if (record->threadHandle == handle) {
            record->cancelled = 1;
            return;
        }
    }
}

void CFerritRemoteControl::RemoveConnectThread(ConnectHandle handle) {
    std::lock_guard<std::mutex> lock(connectThreadsLock);
    for (auto it = connectThreads.begin(); it != connectThreads.end(); ++it) {
        ConnectThreadRecord& record = **it;
        if (record.threadHandle != handle) continue;
        // Only the thread itself frees its record, as its last step: freeing
        // it under a running thread would pull its state away.
        if (record.thread.get_id() != std::this_thread::get_id()) return;
        record.thread.detach();
        connectThreads.erase(it);
        connectThreadsChanged.notify_all();
        return;
    }
}
