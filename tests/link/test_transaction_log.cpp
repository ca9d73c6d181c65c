#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "link/frame.h"
#include "link/shared_key.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link_peers.h"
#include "platform/program_folder.h"
#include "support/frame_text.h"

using namespace linktest;

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    char cell[8];
    for (unsigned char b : bytes) {
        std::snprintf(cell, sizeof cell, "%2x ", unsigned(b));
        out += cell;
    }
    return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Time stamps and elapsed times vary from run to run: "12:34:56 Sending"
// becomes "HH:MM:SS Sending" (also before "Attempt"), " bytes (1.23s) "
// becomes " bytes (T.TTs) ".
std::string Normalised(const std::string& log) {
    std::string out;
    for (size_t i = 0; i < log.size();) {
        const std::string rest = log.substr(i, 17);
        if (rest.size() >= 9 && IsDigit(rest[0]) && IsDigit(rest[1]) && rest[2] == ':' && IsDigit(rest[3]) &&
            IsDigit(rest[4]) && rest[5] == ':' && IsDigit(rest[6]) && IsDigit(rest[7]) && rest[8] == ' ' &&
            (log.compare(i + 9, 7, "Sending") == 0 || log.compare(i + 9, 7, "Attempt") == 0)) {
            out += "HH:MM:SS ";
            i += 9;
            continue;
        }
        if (log.compare(i, 8, " bytes (") == 0) {
            size_t j = i + 8;
            while (j < log.size() && IsDigit(log[j])) ++j;
            if (j > i + 8 && j + 5 <= log.size() && log[j] == '.' && IsDigit(log[j + 1]) && IsDigit(log[j + 2]) &&
                log.compare(j + 3, 3, "s) ") == 0) {
                out += " bytes (T.TTs) ";
                i = j + 6;
                continue;
            }
        }
        out.push_back(log[i++]);
    }
    return out;
}

using testsupport::Frame;

class SerialLog : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFolder(dir.Path());
        unit.LinkAsComPort(dir.Path(), 4);
        link = std::make_unique<CFerritRemoteControl>(nullptr);
        {
            SerialTimeouts kept = link->CommTimeouts();
            kept.readTotalConstant = 60;
            link->SetCommTimeouts(kept);
        }
        link->OpenLog(dir.File("rx.log"));
        ASSERT_EQ(link->OpenSerialPort(4), kResultOk);
    }
    ResultCode Send(const char* request, uint8_t level) {
        int status = 0, length = 0;
        char data[256];
        LinkGuard guard(link->LinkMutex());
        return link->Transact(request, &status, data, &length, level);
    }
    std::string Log() const { return Normalised(ReadFile(dir.File("rx.log"))); }
    const std::string opened = "Log file opened\r\nOpening COM5\r\nReturning OK\r\n";

    TempDir dir;
    PtyUnit unit;
    std::unique_ptr<CFerritRemoteControl> link;
};

TEST_F(SerialLog, ExchangeIsWrittenByteForByte) {
    const std::string reply = ReplyFrame("00011" "17;");
    unit.Push(reply);
    ASSERT_EQ(Send("0001r1loc;;", 1), kResultOk);
    const std::string frame = Frame("0001r1loc;;");
    EXPECT_EQ(Log(), opened + "HH:MM:SS Sending message: " + Hex(frame) + frame + "\r\n" +
                         "Response: 11 bytes (T.TTs) " + Hex(reply) + reply + "\r\n" + "Returning OK\r\n");
    EXPECT_EQ(Hex(frame), " 2 30 30 30 31 72 31 6c 6f 63 3b 3b 98  3 ");
}

TEST_F(SerialLog, SilentRetryAndMissingEtxShareTheResponseLine) {
    link->SetConnected(1);
    unit.PushSilence();
    unit.Push("\x02" "00");
    EXPECT_EQ(Send("0001r1loc;;", 1), kErrNoEtx);
    const std::string frame = Frame("0001r1loc;;");
    const std::string sending = "HH:MM:SS Sending message: " + Hex(frame) + frame + "\r\n";
    EXPECT_EQ(Log(), opened + sending + "Response: 0 bytes (T.TTs) Retry sending message\r\n" + sending +
                         "Response: 3 bytes (T.TTs)  2 30 30 Returning with error code 8000000f\r\n");
}

TEST_F(SerialLog, KeyWriteIsMaskedCharacterByCharacter) {
    unit.Push(ReplyFrame("00011" ";"));
    const std::string key(reinterpret_cast<const char*>(LinkKey()), 16);
    const std::string text = "0001wzaes;" + key + ";";
    ASSERT_EQ(Send(text.c_str(), 2), kResultOk);
    const std::string frame = Frame(text);
    const std::string hex = Hex(frame.substr(0, 11)) + [] {
        std::string stars;
        for (int i = 0; i < 16; ++i) stars += "** ";
        return stars;
    }() + Hex(";") + "** " + Hex("\x03");   // the checksum, a sum of the key, is masked too
    const std::string chars = frame.substr(0, 11) + std::string(16, '*') + ";*\x03";
    const std::string log = Log();
    EXPECT_NE(log.find("Sending message: " + hex + chars + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(key), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("rx.log")).find(key), std::string::npos);
}

TEST_F(SerialLog, MaskingSwitchesAtEverySemicolon) {
    unit.Push(ReplyFrame("00011" ";"));
    ASSERT_EQ(Send("0001wzaes;ab;cd;", 3), kResultOk);
    const std::string frame = Frame("0001wzaes;ab;cd;");
    const std::string hex = Hex(frame.substr(0, 11)) + "** ** " + Hex(";cd;") + "** ** ";
    const std::string chars = frame.substr(0, 11) + "**;cd;**";
    EXPECT_NE(Log().find("Sending message: " + hex + chars + "\r\n"), std::string::npos) << Log();
}

TEST_F(SerialLog, LevelZeroLeavesNoTrace) {
    unit.Push(ReplyFrame("00011" "1;"));
    unit.Push("garbage without end");
    EXPECT_EQ(Send("0001r1loc;;", 0), kResultOk);
    EXPECT_EQ(Send("0001r1loc;;", 0), kErrNoEtx);
    EXPECT_EQ(Log(), opened);
}

TEST_F(SerialLog, PortOpenAndCloseLines) {
    EXPECT_EQ(link->OpenSerialPort(5), kErrAlreadyConnected);
    link->CloseSerialPort();
    link->CloseSerialPort();
    EXPECT_EQ(link->OpenSerialPort(199), kErrOpenPort);
    EXPECT_EQ(Log(), opened + "Opening COM6\r\nReturning with error code 8000000e\r\nPort closed\r\n" +
                         "Opening COM200\r\nReturning with error code 80000001\r\n");
}

TEST(LogFile, ExistingLogIsReplaced) {
    TempDir dir;
    {
        std::ofstream old(dir.File("rx.log"), std::ios::binary);
        old << "an earlier run wrote a lot of lines here\r\n";
    }
    CFerritRemoteControl link(nullptr);
    link.OpenLog(dir.File("rx.log"));
    link.LogFile()->flush();
    EXPECT_EQ(ReadFile(dir.File("rx.log")), "Log file opened\r\n");
    EXPECT_EQ(link.LogFileName(), dir.File("rx.log"));
}

TEST(LogFile, UncreatableLogLeavesLoggingOff) {
    TempDir dir;
    CFerritRemoteControl link(nullptr);
    link.OpenLog(dir.File("missing/rx.log"));
    EXPECT_EQ(link.LogFile(), nullptr);
    int status = -1, length = -1;
    char data[256] = "";
    LinkGuard guard(link.LinkMutex());
    EXPECT_EQ(link.Transact("0001r1loc;;", &status, data, &length, 1), kErrNoConnection);
}

class TcpLog : public ::testing::Test {
protected:
    void SetUp() override {
        link = std::make_unique<CFerritRemoteControl>(nullptr);
        link->OpenLog(dir.File("rx.log"));
        link->SelectEthernet(unit.Address());
    }
    ResultCode Send(const char* request, uint8_t level) {
        int status = 0, length = 0;
        char data[256];
        LinkGuard guard(link->LinkMutex());
        return link->Transact(request, &status, data, &length, level);
    }
    std::string Log() const { return Normalised(ReadFile(dir.File("rx.log"))); }

    TempDir dir;
    TcpUnit unit;
    std::unique_ptr<CFerritRemoteControl> link;
};

TEST_F(TcpLog, ReconnectionAndExchangeAreWrittenByteForByte) {
    const std::string reply = ReplyFrame("00011" "0;");
    unit.PushAnswer(reply);
    ASSERT_EQ(Send("0001rgmod;;", 1), kResultOk);
    const std::string frame = Frame("0001rgmod;;");
    const std::string envelope = WrapEnvelope(reply);   // what the unit sent, deciphered
    EXPECT_EQ(Log(), "Log file opened\r\nHH:MM:SS Attempt to reconnect socket\r\nSuccessfully reconnected socket\r\n"
                     "HH:MM:SS Sending message: " + Hex(frame) + frame + "\r\n" +
                     "Response: " + Hex(envelope) + envelope.substr(0, 1 + reply.size()) + "\r\n" +
                     "Returning OK\r\n");
}

TEST_F(TcpLog, ReconnectionLinesAreWrittenEvenAtLevelZero) {
    unit.PushAnswer(ReplyFrame("00011" "0;"));
    ASSERT_EQ(Send("0001rgmod;;", 0), kResultOk);
    EXPECT_EQ(Log(), "Log file opened\r\nHH:MM:SS Attempt to reconnect socket\r\nSuccessfully reconnected socket\r\n");
}

TEST_F(TcpLog, SplitReplyEndsWithTheErrorOnTheResponseLine) {
    unit.Push({TcpStep::SplitHold, ReplyFrame("00011" "123456;"), 8});
    ASSERT_EQ(Send("0001rgmod;;", 1), kErrNoEtx);
    const std::string log = Log();
    const std::string tail = " Returning with error code 8000000f\r\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
    // The line holds "Response: " and exactly eight bytes in hex.
    const size_t response = log.rfind("\r\nResponse: ");
    ASSERT_NE(response, std::string::npos);
    const std::string dump = log.substr(response + 12, log.size() - tail.size() + 1 - (response + 12));
    ASSERT_EQ(dump.size(), 8u * 3u) << log;
    for (size_t i = 0; i < dump.size(); i += 3) {
        EXPECT_EQ(dump[i + 2], ' ');
        EXPECT_NE(std::string(" 0123456789abcdef").find(dump[i + 1]), std::string::npos);
    }
}

}  // namespace
