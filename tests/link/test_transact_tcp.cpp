#include <gtest/gtest.h>

#include <memory>

#include "link/frame.h"
#include "link/shared_key.h"
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
        // As the main window runs the link.
        link->SetCloseOnErrors(false, false);
        link->SelectEthernet(unit.Address());
        ASSERT_EQ(link->ConnectSocket(), 0);
        ASSERT_EQ(link->Connected(), 1);
    }
    ResultCode Send(const char* request, uint8_t level = 1) {
        LinkGuard guard(link->LinkMutex());
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
    // The last-reply copy keeps the length byte in front of the STX.
    const std::string reply = ReplyFrame("00011" "0;");
    EXPECT_EQ(link->LastReply(), WrapEnvelope(reply).substr(0, 1 + reply.size()));
    EXPECT_EQ(link->Connected(), 1);
}

TEST_F(TcpExchange, EnvelopeSizesFollowTheFrameLength) {
    // Frame lengths 13, 15, 23 and 24 (text + STX, checksum, ETX).
    const char* texts[] = {"0001r1loc;", "0001wgmod;1;", "0001w1ipf;12.345678;", "0001w1ipf;123.456789;"};
    const size_t frameLength[] = {13, 15, 23, 24};
    const size_t wire[] = {16, 16, 24, 32};
    for (int i = 0; i < 4; ++i) unit.PushAnswer(ReplyFrame("00011" ";"));
    for (int i = 0; i < 4; ++i) ASSERT_EQ(Send(texts[i]), kResultOk) << texts[i];
    const auto envelopes = unit.Envelopes();
    ASSERT_EQ(envelopes.size(), 4u);
    Blowfish cipher(LinkKey(), kLinkKeyLength);
    for (int i = 0; i < 4; ++i) {
        std::string frame;
        ASSERT_TRUE(BuildRequestFrame(texts[i], frame));
        EXPECT_EQ(frame.size(), frameLength[i]);
        EXPECT_EQ(envelopes[i].size(), wire[i]) << texts[i];
        std::string plain = envelopes[i];
        cipher.DecipherBlocks(reinterpret_cast<uint8_t*>(plain.data()), plain.size());
        std::string expected = std::string(1, char(frame.size())) + frame;
        expected.append(wire[i] - expected.size(), '\xff');
        EXPECT_EQ(plain, expected) << texts[i];
        EXPECT_NE(envelopes[i], plain);
    }
}

TEST_F(TcpExchange, SplitReplyIsNotReassembledAndItsRestIsNotTakenLater) {
    unit.Push({TcpStep::SplitHold, ReplyFrame("00011" "first;"), 8});
    EXPECT_EQ(Send("0001rgmod;;"), kErrNoEtx);
    EXPECT_STREQ(data, "untouched");
    unit.ReleaseHeld();
    unit.PushAnswer(ReplyFrame("00011" "second;"));
    ASSERT_TRUE(WaitUntil([&] { return link->HasSocket(); }));
    ASSERT_EQ(Send("0001rgmod;;"), kResultOk);
    EXPECT_STREQ(data, "second");
}

TEST_F(TcpExchange, ReceiveTimeOutFailsWithoutResending) {
    unit.Push({TcpStep::Silence, "", 8});
    EXPECT_EQ(Send("0001rgmod;;"), kErrRead);
    EXPECT_EQ(unit.Requests().size(), 1u);
    EXPECT_STREQ(data, "untouched");
    EXPECT_TRUE(link->HasSocket());   // the close flags are off: the socket stays
    EXPECT_EQ(unit.Accepted(), 1);
    EXPECT_TRUE(window.Messages().empty());   // a TCP failure is no lost serial link
}

TEST_F(TcpExchange, DroppedConnectionIsMadeAgainAtTheNextExchange) {
    unit.Push({TcpStep::Close, "", 8});
    EXPECT_EQ(Send("0001rgmod;;"), kErrRead);
    EXPECT_FALSE(link->HasSocket());
    unit.PushAnswer(ReplyFrame("00011" "3;"));
    ASSERT_EQ(Send("0001rgmod;;"), kResultOk);
    EXPECT_STREQ(data, "3");
    EXPECT_EQ(unit.Accepted(), 2);
    const std::string log = Log();
    const size_t attempt = log.find(" Attempt to reconnect socket\r\nSuccessfully reconnected socket\r\n");
    EXPECT_NE(attempt, std::string::npos) << log;
    EXPECT_LT(attempt, log.rfind("Sending message: "));
}

TEST_F(TcpExchange, ConnectionClosedWhileIdleIsMadeAgainBeforeSending) {
    // The unit answers and then closes (a restart): the next exchange finds the
    // closed connection before sending and connects anew instead of failing.
    unit.Push({TcpStep::AnswerThenClose, ReplyFrame("00011" "1;"), 8});
    ASSERT_EQ(Send("0001rgmod;;"), kResultOk);
    ASSERT_TRUE(WaitUntil([&] { return unit.Closed() == 1; }));
    unit.PushAnswer(ReplyFrame("00011" "2;"));
    ASSERT_EQ(Send("0001rgmod;;"), kResultOk);
    EXPECT_STREQ(data, "2");
    EXPECT_EQ(unit.Accepted(), 2);
    EXPECT_NE(Log().find("Successfully reconnected socket\r\n"), std::string::npos);
}

TEST_F(TcpExchange, WithoutReconnectionAMissingSocketIsNoConnection) {
    link->CloseEthernet();
    EXPECT_EQ(link->Connected(), 0);
    link->SetReconnectSocket(false);
    EXPECT_EQ(Send("0001rgmod;;"), kErrNoConnection);
    EXPECT_TRUE(unit.Requests().empty());
    EXPECT_EQ(Log().find("Attempt to reconnect"), std::string::npos);
}

TEST_F(TcpExchange, CloseFlagsDropAndRemakeTheSocketAtOnce) {
    link->SetCloseOnErrors(false, true);
    unit.Push({TcpStep::Silence, "", 8});
    EXPECT_EQ(Send("0001rgmod;;"), kErrRead);
    ASSERT_TRUE(WaitUntil([&] { return unit.Accepted() == 2; }));
    EXPECT_TRUE(link->HasSocket());
    EXPECT_EQ(link->Connected(), 1);
    EXPECT_EQ(Log().find("Attempt to reconnect"), std::string::npos);   // a quiet reconnection
}

TEST(TcpNoUnit, FailedReconnectionIsLoggedAndReportedAsNoConnection) {
    TempDir dir;
    CFerritRemoteControl link(nullptr);
    link.OpenLog(dir.File("rx.log"));
    link.SelectEthernet("127.255.255.254");   // test units never take x.x.x.254 with 255s: nothing listens
    int status = -1, length = -1;
    char data[256] = "untouched";
    {
        LinkGuard guard(link.LinkMutex());
        EXPECT_EQ(link.Transact("0001rgmod;;", &status, data, &length, 0), kErrNoConnection);
    }
    EXPECT_FALSE(link.HasSocket());
    const std::string log = ReadFile(dir.File("rx.log"));
    EXPECT_NE(log.find(" Attempt to reconnect socket\r\nFailed to connect to 127.255.255.254 port 9999. Error 111\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Sending"), std::string::npos);
    EXPECT_EQ(link.ConnectSocket(), 111);
    EXPECT_EQ(link.Connected(), 0);
}

TEST(TcpNoUnit, ProbeSetsTheConnectedFlagFromTheAnswer) {
    TcpUnit unit;
    CFerritRemoteControl link(nullptr);
    link.SetCloseOnErrors(true, false);
    link.SelectEthernet(unit.Address());
    unit.PushAnswer(ReplyFrame("00011" "1;"));
    {
        LinkGuard guard(link.LinkMutex());
        EXPECT_EQ(link.ProbeUnit(), kResultOk);
    }
    EXPECT_EQ(link.Connected(), 1);
    ASSERT_EQ(unit.Requests().size(), 1u);
    EXPECT_EQ(unit.Requests()[0], std::string("\x02" "9999rgadd;;\xdc\x03"));
    unit.PushAnswer("\x02" "garbage");
    {
        LinkGuard guard(link.LinkMutex());
        EXPECT_EQ(link.ProbeUnit(), kErrNoEtx);
    }
    EXPECT_EQ(link.Connected(), 0);
}

}  // namespace
