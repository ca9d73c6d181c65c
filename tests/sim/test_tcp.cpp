// The unit on loopback TCP: enciphered envelopes in and out, connection handling.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim_test_util.h"

using namespace simtest;

namespace {

class TcpUnit : public ::testing::Test {
protected:
    void StartUnit(sim::SimOptions o = {}) {
        o.serial = false;
        o.drift = false;
        if (o.restartMs == 7000) o.restartMs = 0;
        sim::SimUnit* raw = nullptr;
        std::string error;
        ASSERT_TRUE(StartOnLoopback(raw, o, &error)) << error;
        unit_.reset(raw);
        ASSERT_EQ(unit_->TcpPort(), o.tcpPort);
        ASSERT_TRUE(client_.Connect(unit_->TcpAddress(), unit_->TcpPort()));
    }
    std::string Plain(const std::string& reply) { return WrapEnvelope(reply); }

    std::unique_ptr<sim::SimUnit> unit_;
    TcpClient client_;
};

}  // namespace

TEST_F(TcpUnit, RepliesAreEnvelopedAndEnciphered) {
    StartUnit();
    ASSERT_TRUE(client_.Send("9999rgadd;;"));
    const std::string wire = client_.ReceiveOnce();
    const std::string expected = Plain(Reply(1, '1', "1"));   // length byte + 10-byte frame + 5 x 0xFF
    ASSERT_EQ(wire.size(), expected.size());
    EXPECT_NE(wire, expected);   // enciphered on the wire
    EXPECT_EQ(client_.Decipher(wire), expected);
    EXPECT_EQ(uint8_t(expected[0]), Reply(1, '1', "1").size());
    EXPECT_EQ(uint8_t(expected.back()), 0xFF);

    // A longer reply: frame of 18 bytes -> 24 bytes on the wire.
    ASSERT_TRUE(client_.Send("0001redef;;"));
    const std::string longer = client_.Decipher(client_.ReceiveOnce());
    EXPECT_EQ(longer, Plain(Reply(1, '1', "Narrowband slot 1")));
    EXPECT_EQ(longer.size() % 8, 0u);

    EXPECT_EQ(unit_->Requests(), (std::vector<std::string>{Frame("9999rgadd;;"), Frame("0001redef;;")}));
    EXPECT_EQ(unit_->Counters().tcpConnections, 1u);
}

TEST_F(TcpUnit, RequestSplitByTheSenderIsReassembled) {
    StartUnit();
    const std::string env = client_.Envelope("0001w1ipf;2.405;");
    ASSERT_TRUE(client_.SendRaw(env.substr(0, 5)));
    ASSERT_TRUE(WaitFor([&] { return unit_->Counters().tcpConnections == 1; }));
    ASSERT_TRUE(client_.SendRaw(env.substr(5)));
    EXPECT_EQ(client_.Decipher(client_.ReceiveOnce()), Plain(Reply(1, '1', "2.405000")));
    EXPECT_EQ(unit_->Value("1ipf"), "2.405000");
}

TEST_F(TcpUnit, FaultsOnTheWire) {
    StartUnit();
    const std::string good = Reply(1, '1', "1");

    unit_->SetFault(sim::Fault::NoiseBeforeStx, 1);
    ASSERT_TRUE(client_.Send("0001r1los;;"));
    const std::string plain = client_.Decipher(client_.ReceiveOnce());
    ASSERT_FALSE(plain.empty());
    const size_t length = uint8_t(plain[0]);
    EXPECT_GT(length, good.size());
    EXPECT_EQ(plain.substr(1 + length - good.size(), good.size()), good);
    EXPECT_EQ(plain.find('\x02'), 1 + length - good.size());

    unit_->SetFault(sim::Fault::NoEtx, 1);
    EXPECT_EQ(client_.Exchange("0001r1los;;"), good.substr(0, good.size() - 1));

    unit_->SetFault(sim::Fault::BadChecksum, 1);
    std::string wrong = good;
    wrong[wrong.size() - 2] = char(uint8_t(wrong[wrong.size() - 2]) ^ 0x01);
    EXPECT_EQ(client_.Exchange("0001r1los;;"), wrong);

    unit_->SetFault(sim::Fault::SlowReply, 1, 20);
    EXPECT_EQ(client_.Exchange("0001r1los;;"), good);

    // Silence: the next exchange's answer is the first thing that arrives.
    unit_->SetFault(sim::Fault::Silence, 1);
    ASSERT_TRUE(client_.Send("0001r1pol;;"));
    EXPECT_EQ(client_.Exchange("0001r1los;;"), good);
    EXPECT_EQ(unit_->Counters().faultsApplied, 5u);
}

TEST_F(TcpUnit, SplitReplyComesAsTwoSegments) {
    StartUnit();
    // The pause is long only so that the first segment is surely read alone.
    unit_->SetFault(sim::Fault::SplitTcpSegment, 1, 1000);
    ASSERT_TRUE(client_.Send("0001redef;;"));
    const std::string first = client_.ReceiveOnce();
    EXPECT_EQ(first.size(), 8u);
    const std::string second = client_.ReceiveOnce();
    EXPECT_EQ(client_.Decipher(first + second), Plain(Reply(1, '1', "Narrowband slot 1")));
    // The next reply is whole again.
    EXPECT_EQ(client_.Exchange("0001r1los;;"), Reply(1, '1', "1"));
}

TEST_F(TcpUnit, DroppedConnectionAndReplacement) {
    StartUnit();
    unit_->SetFault(sim::Fault::DropConnection, 1);
    ASSERT_TRUE(client_.Send("0001r1los;;"));
    EXPECT_EQ(client_.ReceiveOnce(), "<closed>");
    ASSERT_TRUE(client_.Connect(unit_->TcpAddress(), unit_->TcpPort()));
    EXPECT_EQ(client_.Exchange("0001r1los;;"), Reply(1, '1', "1"));

    // A second connection replaces the first, which the unit closes.
    TcpClient other;
    ASSERT_TRUE(other.Connect(unit_->TcpAddress(), unit_->TcpPort()));
    EXPECT_EQ(other.Exchange("0001r1pol;;"), Reply(1, '1', "0"));
    EXPECT_EQ(client_.ReceiveOnce(), "<closed>");
    EXPECT_EQ(unit_->Counters().tcpConnections, 3u);
}

TEST_F(TcpUnit, ModeChangeDropsTheConnectionAndRefusesUntilRestarted) {
    sim::SimOptions o;
    o.restartMs = 2000;
    StartUnit(o);
    EXPECT_EQ(client_.Exchange("0001wgudm;1;"), Reply(1, '1', "1"));
    EXPECT_EQ(client_.ReceiveOnce(), "<closed>");
    EXPECT_TRUE(unit_->IsRestarting());

    // While restarting, connections are refused.
    TcpClient probe;
    bool refused = false;
    while (!refused && unit_->IsRestarting()) refused = !probe.Connect(unit_->TcpAddress(), unit_->TcpPort());
    EXPECT_TRUE(refused);

    // Afterwards a new connection is answered, in the new mode. (The unit
    // listens again a little before its restart is over, so that a program
    // that waits the restart time finds it listening; it answers once the
    // restart is over.)
    ASSERT_TRUE(WaitFor([&] { return !unit_->IsRestarting(); }));
    ASSERT_TRUE(WaitFor([&] { return probe.Connect(unit_->TcpAddress(), unit_->TcpPort()); }));
    EXPECT_EQ(probe.Exchange("0001rgudm;;"), Reply(1, '1', "1"));
    EXPECT_EQ(unit_->Counters().restarts, 1u);
}

TEST_F(TcpUnit, RestartNowFromAnotherThread) {
    sim::SimOptions o;
    o.restartMs = 50;
    StartUnit(o);
    EXPECT_EQ(client_.Exchange("0001rdlas;;"), Reply(1, '1', "1"));
    std::thread([this] { unit_->RestartNow(); }).join();
    EXPECT_EQ(client_.ReceiveOnce(), "<closed>");
    ASSERT_TRUE(WaitFor([&] { return !unit_->IsRestarting(); }));
    TcpClient again;
    ASSERT_TRUE(WaitFor([&] { return again.Connect(unit_->TcpAddress(), unit_->TcpPort()); }));
    EXPECT_EQ(again.Exchange("0001rdlas;;"), Reply(1, '1', "1"));
}

TEST(TcpAndSerial, OneUnitAnswersOnBothSides) {
    sim::SimOptions o;
    o.tcpPort = 0;   // any free port
    o.drift = false;
    o.address = 7;
    sim::SimUnit* raw = nullptr;
    std::string error;
    ASSERT_TRUE(StartOnLoopback(raw, o, &error)) << error;
    std::unique_ptr<sim::SimUnit> unit(raw);
    EXPECT_NE(unit->TcpPort(), 0);
    TcpClient tcp;
    ASSERT_TRUE(tcp.Connect(unit->TcpAddress(), unit->TcpPort()));
    SerialClient serial(unit->PtySlavePath());
    ASSERT_TRUE(serial.IsOpen());
    EXPECT_EQ(tcp.Exchange("0007wgadd;0008;"), Reply(8, '1', "0008"));
    EXPECT_EQ(serial.Exchange("0008rgadd;;"), Reply(8, '1', "8"));
    EXPECT_EQ(unit->Address(), 8);
}

// A unit that vanishes and comes back: the same object started again.
TEST(TcpAndSerial, StopAndStartAgainKeepsTheUnitsState) {
    char pattern[] = "/tmp/sim_again_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string link = std::string(pattern) + "/COM2";
    sim::SimOptions o;
    o.drift = false;
    o.ptyLinkPath = link;
    sim::SimUnit* raw = nullptr;
    std::string error;
    ASSERT_TRUE(StartOnLoopback(raw, o, &error)) << error;
    std::unique_ptr<sim::SimUnit> unit(raw);
    {
        const std::string address = unit->TcpAddress();
        TcpClient tcp;
        ASSERT_TRUE(tcp.Connect(address, 9999));
        EXPECT_EQ(tcp.Exchange("0001wedef;Kept;"), Reply(1, '1', "Kept"));
        unit->Stop();
        EXPECT_EQ(tcp.ReceiveOnce(), "<closed>");
        EXPECT_FALSE(tcp.Connect(address, 9999));   // nobody listens while stopped
        EXPECT_FALSE(std::filesystem::is_symlink(link));
        EXPECT_EQ(unit->TcpAddress(), "");
    }
    ASSERT_TRUE(unit->Start(&error)) << error;
    SerialClient serial(link);
    ASSERT_TRUE(serial.IsOpen());
    EXPECT_EQ(serial.Exchange("0001redef;;"), Reply(1, '1', "Kept"));
    TcpClient tcp;
    ASSERT_TRUE(tcp.Connect(unit->TcpAddress(), unit->TcpPort()));
    EXPECT_EQ(tcp.Exchange("0001redef;;"), Reply(1, '1', "Kept"));
    unit->Stop();
    std::filesystem::remove_all(pattern);
}
