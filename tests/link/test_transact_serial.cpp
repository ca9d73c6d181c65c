#include <gtest/gtest.h>

#include <memory>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link_peers.h"
#include "platform/program_folder.h"

using namespace linktest;

namespace {

constexpr int kPort = 4;   // COM5

class SerialExchange : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFolder(dir.Path());
        unit.LinkAsComPort(dir.Path(), kPort);
        link = std::make_unique<CFerritRemoteControl>(&window);
        link->OpenLog(dir.File("rx.log"));
        // Short read time-outs keep silent-unit cases quick.
        link->readTotalTimeoutConstant = 60;
        ASSERT_EQ(link->OpenSerialPort(kPort), kResultOk);
    }
    ResultCode Send(const char* request, uint8_t level = 1) {
        LinkGuard guard(LinkLock);
        return link->Transact(request, &status, data, &length, level);
    }
    std::string Log() { return ReadFile(dir.File("rx.log")); }
    size_t LostMessages() const {
        size_t n = 0;
        for (const Message& m : window.Messages()) {
            if (m.msg == WM_LINK_LOST) {
                EXPECT_FALSE(m.sent) << "WM_LINK_LOST must be posted";
                ++n;
            }
        }
        return n;
    }

    TempDir dir;
    PtyUnit unit;
    RecordingWindow window;
    std::unique_ptr<CFerritRemoteControl> link;
    int status = -1;
    char data[256] = "untouched";
    int length = -1;
};

TEST_F(SerialExchange, AnswerIsAcceptedAndHandedBack) {
    unit.Push(ReplyFrame("00011" "17;"));
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_EQ(status, '1');
    EXPECT_STREQ(data, "17");
    EXPECT_EQ(length, 2);
    EXPECT_EQ(link->connected, 1);
    ASSERT_EQ(unit.Requests().size(), 1u);
    EXPECT_EQ(unit.Requests()[0], std::string("\x02" "0001r1loc;;\x98\x03"));
    EXPECT_EQ(link->lastRequest, unit.Requests()[0]);
    EXPECT_EQ(link->lastReply, ReplyFrame("00011" "17;"));
}

}  // namespace
