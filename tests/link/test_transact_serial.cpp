#include <gtest/gtest.h>

#include <cstdio>
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
        {
            SerialTimeouts kept = link->CommTimeouts();
            kept.readTotalConstant = 60;
            link->SetCommTimeouts(kept);
        }
        ASSERT_EQ(link->OpenSerialPort(kPort), kResultOk);
    }
    ResultCode Send(const char* request, uint8_t level = 1) {
        LinkGuard guard(link->LinkMutex());
        return link->Transact(request, &status, data, &length, level);
    }
    void Connect() {
        unit.Push(ReplyFrame("00011" "1;"));
        ASSERT_EQ(Send("0001rgadd;;"), kResultOk);
        ASSERT_EQ(link->Connected(), 1);
        status = -1;
        length = -1;
        std::snprintf(data, sizeof data, "untouched");
    }
    std::string Log() { return ReadFile(dir.File("rx.log")); }
    void ExpectOutUntouched() {
        EXPECT_EQ(status, -1);
        EXPECT_STREQ(data, "untouched");
        EXPECT_EQ(length, -1);
    }
    size_t LostMessages() const {
        size_t n = 0;
        for (const Message& m : window.Messages()) {
            if (m.ev != Ev::LinkLost) continue;
            EXPECT_FALSE(m.sent) << "LinkLost is posted, never sent";
            ++n;
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
    EXPECT_EQ(link->Connected(), 1);
    ASSERT_EQ(unit.Requests().size(), 1u);
    EXPECT_EQ(unit.Requests()[0], std::string("\x02" "0001r1loc;;\x98\x03"));
    EXPECT_EQ(link->LastRequest(), unit.Requests()[0]);
    EXPECT_EQ(link->LastReply(), ReplyFrame("00011" "17;"));
    EXPECT_EQ(link->LastReplyLength(), int(link->LastReply().size()));
}

TEST_F(SerialExchange, FramesOnTheWireCarryOneStxAndTheChecksum) {
    unit.Push(ReplyFrame("00011" "1;"));
    unit.Push(ReplyFrame("00011" "1;"));
    unit.Push(ReplyFrame("00011" "1;"));
    ASSERT_EQ(Send("9999rgadd;;"), kResultOk);
    ASSERT_EQ(Send("\x02" "9999rgadd;;"), kResultOk);
    ASSERT_EQ(Send(FormatRequest("%c%04dwgmod;%d;", 2, 1, 1).c_str()), kResultOk);
    const auto requests = unit.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0], std::string("\x02" "9999rgadd;;\xdc\x03"));
    EXPECT_EQ(requests[1], requests[0]);
    EXPECT_EQ(requests[2], std::string("\x02" "0001wgmod;1;\x86\x03"));
}

TEST_F(SerialExchange, ReplyVariantsByTheAcceptanceRules) {
    unit.Push(ReplyFrame("0001E" "5;"));                                  // status E is a success
    unit.Push(ReplyFrame("00011" "42"));                                  // no ';': empty data
    unit.Push("\xff\x7f noise" + ReplyFrame("00011" "7;"));               // noise before STX
    unit.Push(ReplyFrame("00011" "8;") + ReplyFrame("00011" "9;"));       // two frames: the first counts
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_EQ(status, 'E');
    EXPECT_STREQ(data, "5");
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_EQ(length, 0);
    EXPECT_STREQ(data, "");
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_STREQ(data, "7");
    EXPECT_EQ(link->LastReply(), "\xff\x7f noise" + ReplyFrame("00011" "7;"));
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_STREQ(data, "8");
}

TEST_F(SerialExchange, BadRepliesFailAndLeaveTheOutArgumentsAlone) {
    std::string badSum = ReplyFrame("00011" "3;");
    badSum[badSum.size() - 2] = char(0x81);
    std::string zeroInside = ReplyFrame("00011" "3;");
    zeroInside[6] = '\0';
    unit.Push(badSum);
    unit.Push(ReplyFrame("0001X" "3;"));
    unit.Push("0001" + std::string(1, '\x03'));   // ETX but no STX
    unit.Push(zeroInside);
    ASSERT_EQ(Send("0001r1loc;;"), kErrBadChecksum);
    EXPECT_EQ(link->LastReply(), badSum);
    ASSERT_EQ(Send("0001r1loc;;"), kErrInvalidReply);
    ASSERT_EQ(Send("0001r1loc;;"), kErrInvalidReply);
    ASSERT_EQ(Send("0001r1loc;;"), kErrNoEtx);
    ExpectOutUntouched();
    EXPECT_EQ(link->Connected(), 0);
}

TEST_F(SerialExchange, EtxAtByteTwentyEndsTheReadAtOnce) {
    // A read waiting for a time-out would also take the trailing bytes (and
    // take minutes): the count in the log shows where the read stopped.
    link->SetCommTimeout(2, 120000);
    const std::string reply = ReplyFrame("00011" "12345678901;");
    ASSERT_EQ(reply.size(), 20u);
    unit.Push(reply + "JUNK");
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_STREQ(data, "12345678901");
    EXPECT_NE(Log().find("Response: 20 bytes ("), std::string::npos);
}

TEST_F(SerialExchange, NoiseWithoutStxFailsAfterTheThirtyThirdByte) {
    unit.Push(std::string(40, 'n'));
    ASSERT_EQ(Send("0001r1loc;;"), kErrRead);
    ExpectOutUntouched();
    EXPECT_NE(Log().find("Response: Returning with error code 80000008\r\n"), std::string::npos);
}

TEST_F(SerialExchange, LongestReplyFitsAndOneByteMoreFails) {
    const std::string longest = ReplyFrame("00011" + std::string(246, 'd') + ";");
    ASSERT_EQ(longest.size(), 255u);
    unit.Push(longest);
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_EQ(length, 246);
    unit.Push("\x02" + std::string(255, 'd'));   // 256 bytes, no ETX
    status = -1;
    EXPECT_EQ(Send("0001r1loc;;"), kErrRead);
    EXPECT_EQ(status, -1);
}

TEST_F(SerialExchange, BulkReadGoesOnPastAnEarlyEtxUpToByte135) {
    const std::string first = ReplyFrame("00011" + std::string(41, 'b') + ";");
    ASSERT_EQ(first.size(), 50u);
    // Bytes 51..139 carry no ETX, byte 140 is one; two more bytes follow.
    unit.Push(first + std::string(89, 'x') + "\x03" + "ZZ");
    ASSERT_EQ(Send("0001rgrea;;"), kResultOk);
    EXPECT_EQ(length, 41);
    EXPECT_EQ(link->LastReply(), first);
    EXPECT_NE(Log().find("Response: 140 bytes ("), std::string::npos);
}

TEST_F(SerialExchange, BulkReadOnASilentLineEndsAfterABoundedSilence) {
    const std::string first = ReplyFrame("00011" + std::string(41, 'b') + ";");
    unit.Push(first);
    ASSERT_EQ(Send("0001rgrea;;"), kResultOk);
    EXPECT_NE(Log().find("Response: 50 bytes ("), std::string::npos);
}

TEST_F(SerialExchange, SilentUnitIsTriedThreeTimesThenDeclaredLost) {
    Connect();
    unit.PushSilence(4);
    EXPECT_EQ(Send("0001r1loc;;"), kErrTimedOut);
    EXPECT_EQ(unit.Requests().size(), 1u + 3u);
    EXPECT_EQ(link->Connected(), 0);
    EXPECT_EQ(LostMessages(), 1u);
    ExpectOutUntouched();
    const std::string log = Log();
    size_t retries = 0;
    for (size_t at = log.find("Retry sending message\r\n"); at != std::string::npos;
         at = log.find("Retry sending message\r\n", at + 1)) {
        ++retries;
    }
    EXPECT_EQ(retries, 2u);
    EXPECT_NE(log.find("Response: 0 bytes ("), std::string::npos);
    EXPECT_NE(log.find("s) Returning with error code 80000009\r\n"), std::string::npos);

    // While lost, a silent unit is not retried.
    EXPECT_EQ(Send("0001r1loc;;"), kErrTimedOut);
    EXPECT_EQ(unit.Requests().size(), 1u + 3u + 1u);
    EXPECT_EQ(LostMessages(), 2u);
    EXPECT_TRUE(link->IsConnected());   // the port stays open
}

TEST_F(SerialExchange, AnswerOnTheRetryResetsTheEmptyReplyCount) {
    Connect();
    unit.PushSilence();
    unit.Push(ReplyFrame("00011" "1;"));
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_EQ(link->EmptyReplyCount(), 0);
    EXPECT_EQ(unit.Requests().size(), 1u + 2u);
    EXPECT_EQ(LostMessages(), 0u);
    // Two more silent replies are then allowed again before the link is lost.
    unit.PushSilence(2);
    unit.Push(ReplyFrame("00011" "1;"));
    ASSERT_EQ(Send("0001r1loc;;"), kResultOk);
    EXPECT_EQ(link->Connected(), 1);
}

TEST_F(SerialExchange, TooLongRequestIsRefusedBeforeAnythingHappens) {
    const std::string logBefore = Log();
    const std::string text = "0001w1nam;" + std::string(234, 'x') + ";";
    ASSERT_EQ(text.size(), 245u);
    EXPECT_EQ(Send(text.c_str()), kErrInvalidCommand);
    EXPECT_TRUE(unit.Requests().empty());
    EXPECT_EQ(Log(), logBefore);
    EXPECT_TRUE(link->LastRequest().empty());
    ExpectOutUntouched();
    // 244 characters still travel.
    unit.Push(ReplyFrame("00011" ";"));
    EXPECT_EQ(Send(text.substr(1).c_str()), kResultOk);
    EXPECT_EQ(unit.Requests().size(), 1u);
}

TEST_F(SerialExchange, VanishedDeviceFailsTheReadWithoutWaiting) {
    // With a two-minute time-out a reader that missed the hang-up would stall.
    link->SetCommTimeout(2, 120000);
    unit.PushHangUp();
    EXPECT_EQ(Send("0001r1loc;;"), kErrRead);
    ExpectOutUntouched();
    // The dead descriptor was closed with that failure: the next exchange
    // finds no port and fails at once, sending nothing.
    EXPECT_FALSE(link->SerialLine().IsOpen());
    const ResultCode again = Send("0001r1loc;;");
    EXPECT_EQ(again, kErrNoConnection) << std::hex << again;
}

TEST(SerialNoPort, TransactWithoutAPortWritesNothing) {
    TempDir dir;
    CFerritRemoteControl link(nullptr);
    link.OpenLog(dir.File("rx.log"));
    int status = -1, length = -1;
    char data[256] = "untouched";
    LinkGuard guard(link.LinkMutex());
    EXPECT_EQ(link.Transact("0001r1loc;;", &status, data, &length, 1), kErrNoConnection);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(link.LastRequest().empty());
    EXPECT_EQ(ReadFile(dir.File("rx.log")), "Log file opened\r\nReturning with error code 80000004\r\n");
}

}  // namespace

namespace {

TEST_F(SerialExchange, ReplyOfTwoHundredFiftySixBytesFailsEvenWithItsEtxLast) {
    const std::string tooLong = ReplyFrame("00011" + std::string(247, 'd') + ";");
    ASSERT_EQ(tooLong.size(), 256u);
    unit.Push(tooLong);
    EXPECT_EQ(Send("0001r1loc;;"), kErrRead);
    ExpectOutUntouched();
}

}  // namespace
