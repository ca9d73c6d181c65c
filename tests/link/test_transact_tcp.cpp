#include <gtest/gtest.h>

#include <memory>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link_peers.h"

using namespace linktest;

namespace {

class TcpExchange : public ::testing::Test {
protected:
    void SetUp() override {
        link = std::make_unique<CFerritRemoteControl>(&window);
        link->OpenLog(dir.File("rx.log"));
        link->SelectEthernet(unit.Address());
        ASSERT_EQ(link->ConnectSocket(), 0);
    }
    ResultCode Send(const char* request, uint8_t level = 1) {
        LinkGuard guard(LinkLock);
        return link->Transact(request, &status, data, &length, level);
    }
    std::string Log() { return ReadFile(dir.File("rx.log")); }

    TempDir dir;
    TcpUnit unit;
    RecordingWindow window;
    std::unique_ptr<CFerritRemoteControl> link;
    int status = -1;
    char data[256] = "untouched";
    int length = -1;
};

TEST_F(TcpExchange, AnswerTravelsEnciphered) {
    unit.PushAnswer(ReplyFrame("00011" "0;"));
    ASSERT_EQ(Send("0001wgmod;1;"), kResultOk);
    EXPECT_EQ(status, '1');
    EXPECT_STREQ(data, "0");
    ASSERT_EQ(unit.Requests().size(), 1u);
    EXPECT_EQ(unit.Requests()[0], std::string("\x02" "0001wgmod;1;\x86\x03"));
    EXPECT_EQ(link->connected, 1);
}

}  // namespace
