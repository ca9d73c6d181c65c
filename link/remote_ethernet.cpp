// The Ethernet transport's connection handling: selecting and closing the
// transport, synchronous connections and the cancellable connect threads.
#include <chrono>
#include <thread>

#include "link/locks.h"
#include "link/remote_control.h"
#include "platform/debug_out.h"

namespace {

constexpr auto kWindowCheckInterval = std::chrono::milliseconds(100);
constexpr uint32_t kThreadEndWaitMs = 500;

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
    TcpTransport* const owner = record->owner;
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
                std::lock_guard<std::mutex> lock(owner->ConnectThreadsLock());
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
    LinkGuard guard(linkMutex_);
    tcp_.SetAddress(address);
    mode_ = LinkModeEthernet;
    serial_.ForgetLostPort();   // the serial port is given up for Ethernet
    tcp_.Close();
    // Whatever the link was connected to before, over this address it is not
    // connected until an attempt succeeds.
    connected_ = 0;
}

void CFerritRemoteControl::CloseEthernet() {
    LinkGuard guard(linkMutex_);
    if (HasSocket()) {
        tcp_.Close();
        connected_ = 0;
    }
    DebugOut("Ethernet connection closed\r\n");
}

int CFerritRemoteControl::ConnectSocket() {
    LinkGuard guard(linkMutex_);
    return tcp_.Connect();
}

ConnectHandle CFerritRemoteControl::StartConnectThread(IUnitEvents* notifyWindow, IUnitEvents* waitWindow) {
    if (onConnectAttemptStart_) onConnectAttemptStart_();
    return tcp_.StartConnectThread(notifyWindow, waitWindow);
}

void CFerritRemoteControl::CancelConnectThread(ConnectHandle handle) { tcp_.CancelConnectThread(handle); }

void CFerritRemoteControl::RemoveConnectThread(ConnectHandle handle) { tcp_.RemoveConnectThread(handle); }

ConnectHandle TcpTransport::StartConnectThread(IUnitEvents* notifyWindow, IUnitEvents* waitWindow) {
    if (HasSocket()) return 0;
    std::lock_guard<std::mutex> lock(connectThreadsLock_);
    auto record = std::make_unique<ConnectThreadRecord>();
    record->ipAddress = ipAddress_;
    record->socketSlot = &socket_;
    record->notifyWindow = notifyWindow;
    record->waitWindow = waitWindow;
    record->threadHandle = nextConnectHandle_++;
    record->owner = this;
    ConnectThreadRecord* raw = record.get();
    connectThreads_.push_back(std::move(record));
    // The thread removes its record under this lock, so it cannot get there
    // before the handle and the thread object are in place.
    raw->thread = std::thread(ConnectThreadMain, raw);
    return raw->threadHandle;
}

void TcpTransport::CancelConnectThread(ConnectHandle handle) {
    std::lock_guard<std::mutex> lock(connectThreadsLock_);
    for (auto& record : connectThreads_) {
        if (record->threadHandle == handle) {
            record->cancelled = 1;
            return;
        }
    }
}

void TcpTransport::RemoveConnectThread(ConnectHandle handle) {
    std::lock_guard<std::mutex> lock(connectThreadsLock_);
    for (auto it = connectThreads_.begin(); it != connectThreads_.end(); ++it) {
        ConnectThreadRecord& record = **it;
        if (record.threadHandle != handle) continue;
        // Only the thread itself frees its record, as its last step: freeing
        // it under a running thread would pull its state away.
        if (record.thread.get_id() != std::this_thread::get_id()) return;
        record.thread.detach();
        connectThreads_.erase(it);
        connectThreadsChanged_.notify_all();
        return;
    }
}

size_t TcpTransport::ConnectThreadCount() {
    std::lock_guard<std::mutex> lock(connectThreadsLock_);
    return connectThreads_.size();
}

void TcpTransport::EndConnectThreads() {
    // Each thread notices the flag within its bounded connect and removes
    // its record.
    std::unique_lock<std::mutex> lock(connectThreadsLock_);
    for (auto& record : connectThreads_) record->cancelled = 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kThreadEndWaitMs);
    connectThreadsChanged_.wait_until(lock, until, [this] { return connectThreads_.empty(); });
    for (auto& record : connectThreads_) {
        DebugOut("Terminating 0x%x forcefully\r\n", unsigned(record->threadHandle));
    }
    connectThreadsChanged_.wait(lock, [this] { return connectThreads_.empty(); });
}
