#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <memory>

#include "link/remote_control.h"
#include "link_peers.h"
#include "support/loopback.h"

using namespace linktest;

namespace {

bool NoThreadsLeft(CFerritRemoteControl& link) {
    return link.ConnectThreadCount() == 0;
}

size_t ConnectDoneCount(const RecordingWindow& window) {
    size_t n = 0;
    for (const Message& m : window.Messages()) n += m.ev == Ev::ConnectDone;
    return n;
}

// A listener on a random 127.x.y.z:9999 whose accept queue is full, so that a
// further connection attempt hangs instead of completing.
class FullBacklogListener {
public:
    FullBacklogListener() {
        for (int attempt = 0; attempt < 50 && listener_ < 0; ++attempt) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_port = htons(9999);
            address_ = testsupport::RandomLoopbackAddress();
            inet_pton(AF_INET, address_.c_str(), &sa.sin_addr);
            if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd, 0) == 0) {
                listener_ = fd;
                for (int i = 0; i < 3; ++i) {
                    const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                    ::connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
                    fillers_.push_back(c);
                }
            } else {
                ::close(fd);
            }
        }
    }
    ~FullBacklogListener() {
        for (int c : fillers_) ::close(c);
        if (listener_ >= 0) ::close(listener_);
    }
    const std::string& Address() const { return address_; }

private:
    int listener_ = -1;
    std::string address_;
    std::vector<int> fillers_;
};

TEST(ConnectThread, ConnectionIsStoredAndReportedButNotMarkedConnected) {
    DebugCapture debug;
    TcpUnit unit;
    RecordingWindow window;
    CFerritRemoteControl link(&window);
    link.SelectEthernet(unit.Address());
    const ConnectHandle handle = link.StartConnectThread(&window, &window);
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(WaitUntil([&] { return NoThreadsLeft(link); }));
    const auto messages = window.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].ev, Ev::ConnectDone);
    EXPECT_TRUE(messages[0].sent);
    EXPECT_EQ(messages[0].result, ConnectResult::Connected);
    EXPECT_TRUE(link.HasSocket());
    EXPECT_EQ(link.Connected(), 0);
    EXPECT_TRUE(debug.Has("Attempt to create socket...\r\n"));
    EXPECT_TRUE(debug.Has("Socket succesfully connected\r\n"));
    // With a socket in place no further thread is started.
    EXPECT_EQ(link.StartConnectThread(&window, nullptr), 0u);
    EXPECT_TRUE(NoThreadsLeft(link));
    // The peer counts the connection when its own thread has accepted it.
    EXPECT_TRUE(WaitUntil([&] { return unit.Accepted() >= 1; }));
    EXPECT_EQ(unit.Accepted(), 1);
}

TEST(ConnectThread, RefusedConnectionIsReportedWith255) {
    DebugCapture debug;
    RecordingWindow window;
    CFerritRemoteControl link(&window);
    link.SelectEthernet("127.255.255.254");   // nothing listens there
    ASSERT_NE(link.StartConnectThread(&window, nullptr), 0u);
    ASSERT_TRUE(WaitUntil([&] { return NoThreadsLeft(link); }));
    const auto messages = window.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].ev, Ev::ConnectDone);
    EXPECT_EQ(messages[0].result, ConnectResult::Failed);
    EXPECT_FALSE(link.HasSocket());
    EXPECT_TRUE(debug.Has("Failed to connect. Error 111\r\n"));
}

TEST(ConnectThread, CancelWhileWaitingForTheWindowSendsNothing) {
    DebugCapture debug;
    TcpUnit unit;
    RecordingWindow window, dialog;
    dialog.exists = false;
    CFerritRemoteControl link(&window);
    link.SelectEthernet(unit.Address());
    const ConnectHandle handle = link.StartConnectThread(&window, &dialog);
    link.CancelConnectThread(handle);
    ASSERT_TRUE(WaitUntil([&] { return NoThreadsLeft(link); }));
    EXPECT_EQ(ConnectDoneCount(window), 0u);
    EXPECT_FALSE(link.HasSocket());
    EXPECT_EQ(unit.Accepted(), 0);
    EXPECT_TRUE(debug.Has("Thread cancelled\r\n"));
    EXPECT_FALSE(debug.Has("Attempt to create socket...\r\n"));
}

TEST(ConnectThread, CancelBeforeTheConnectionCompletesLeavesNoSocket) {
    DebugCapture debug;
    FullBacklogListener listener;
    RecordingWindow window;
    CFerritRemoteControl link(&window);
    link.SelectEthernet(listener.Address());
    const ConnectHandle handle = link.StartConnectThread(&window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return debug.Has("Attempt to create socket...\r\n"); }));
    link.CancelConnectThread(handle);
    ASSERT_TRUE(WaitUntil([&] { return NoThreadsLeft(link); }));
    EXPECT_EQ(ConnectDoneCount(window), 0u);
    EXPECT_FALSE(link.HasSocket());
    EXPECT_TRUE(debug.Has("Thread cancelled\r\n"));
    EXPECT_FALSE(debug.Has("Socket succesfully connected\r\n"));
    // Cancelling a handle that is gone does nothing.
    link.CancelConnectThread(handle);
}

TEST(ConnectThread, DestroyingTheLinkCancelsAndWaitsForItsThreads) {
    DebugCapture debug;
    FullBacklogListener listener;
    RecordingWindow window, dialog;
    dialog.exists = false;
    {
        CFerritRemoteControl link(&window);
        link.SelectEthernet(listener.Address());
        ASSERT_NE(link.StartConnectThread(&window, nullptr), 0u);
        ASSERT_NE(link.StartConnectThread(&window, &dialog), 0u);
        ASSERT_TRUE(WaitUntil([&] { return debug.Has("Attempt to create socket...\r\n"); }));
    }
    EXPECT_EQ(ConnectDoneCount(window), 0u);
    size_t cancelled = 0;
    for (const auto& line : debug.Lines()) cancelled += line == "Thread cancelled\r\n";
    EXPECT_EQ(cancelled, 2u);
}

// A window whose ConnectDone does not return until released (a busy window thread).
class StuckWindow : public IUnitEvents {
public:
    void ConnectDone(ConnectResult) override {
        std::unique_lock<std::mutex> lock(mutex_);
        entered_ = true;
        cv_.wait(lock, [this] { return released_; });
    }
    bool Entered() {
        std::lock_guard<std::mutex> lock(mutex_);
        return entered_;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool entered_ = false;
    bool released_ = false;
};

TEST(ConnectThread, DestructionReportsAThreadThatOutlastsTheBoundAndStillWaitsForIt) {
    DebugCapture debug;
    TcpUnit unit;
    StuckWindow window;
    auto link = std::make_unique<CFerritRemoteControl>(&window);
    link->SelectEthernet(unit.Address());
    const ConnectHandle handle = link->StartConnectThread(&window, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return window.Entered(); }));
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        link.reset();
        destroyed = true;
    });
    char expected[64];
    std::snprintf(expected, sizeof expected, "Terminating 0x%x forcefully\r\n", unsigned(handle));
    ASSERT_TRUE(WaitUntil([&] { return debug.Has(expected); }));
    EXPECT_FALSE(destroyed.load());   // the thread is still inside ConnectDone: never killed
    window.Release();
    destroyer.join();
    EXPECT_TRUE(destroyed.load());
}

}  // namespace
