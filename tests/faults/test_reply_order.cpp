// Every reply belongs to its request: a unit that answers late while the next
// request is already on its way, answers twice, floods the line after a reply,
// drips its reply a byte at a time or reports an address no frame can carry,
// on both transports, against the real link. The next request is always sent
// at once, never after waiting for the stray bytes to arrive.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstdio>
#include <future>
#include <thread>
#include <mutex>
#include <vector>

#include "faults/unit_rig.h"
#include "link/frame.h"
#include "link/locks.h"
#include "platform/debug_out.h"

namespace {

using std::chrono::milliseconds;
using sim::Fault;

class ReplyOrder : public ::testing::TestWithParam<Transport> {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.Start());
        rig.unit->SetValue("1loc", "1");
        rig.unit->SetValue("1snr", "12.5");
        rig.unit->SetValue("1ina", "-43");
    }
    bool Serial() const { return GetParam() == Transport::Serial; }

    // Reads the three codes in a row, as `read 1loc 1snr 1ina` does: each
    // exchange either fails or gives its own code's value.
    void ExpectNoShiftedValue(int rounds) {
        const char* const codes[] = {"1loc", "1snr", "1ina"};
        int answered = 0;
        for (int round = 0; round < rounds; ++round) {
            for (const char* code : codes) {
                const Exchange x = rig.Transact(std::string("0001r") + code + ";;");
                if (x.rc != kResultOk) continue;
                ++answered;
                EXPECT_EQ(x.data, rig.unit->Value(code)) << code << " in round " << round;
            }
        }
        EXPECT_GT(answered, 0);
    }

    UnitRig rig{GetParam()};
};

TEST_P(ReplyOrder, LateReplyIsNotTakenByTheRequestSentWhileItWasOnItsWay) {
    rig.unit->SetFault(Fault::SlowReply, 1, uint32_t((rig.AttemptBound() + milliseconds(400)).count()));
    // The late reply to the mode read ("0") must never answer the address read.
    const Exchange mode = rig.Transact("0001rgudm;;");
    if (mode.rc == kResultOk) {
        EXPECT_EQ(mode.data, "0");
    }
    const Exchange address = rig.Transact("0001rgadd;;");
    if (address.rc == kResultOk) {
        EXPECT_EQ(address.data, "1");
    }
    ExpectNoShiftedValue(3);
    const Exchange last = rig.Transact("0001rgadd;;");
    EXPECT_EQ(last.rc, kResultOk);
    EXPECT_EQ(last.data, "1");
}

TEST_P(ReplyOrder, RepeatedReplyShiftsNothing) {
    rig.unit->SetFault(Fault::ReplyTwice);
    ExpectNoShiftedValue(4);
}

TEST_P(ReplyOrder, FloodAfterAReplyEndsWithinABoundAndTheLinkRecovers) {
    rig.unit->SetFault(Fault::Flood, 1, 2000);
    const Exchange first = rig.Transact("0001r1loc;;");
    if (first.rc == kResultOk) {
        EXPECT_EQ(first.data, "1");
    }
    const Exchange flooded = rig.Transact("0001r1snr;;");
    EXPECT_LE(flooded.elapsed, 3 * rig.AttemptBound() + UnitRig::kSlack);
    if (flooded.rc == kResultOk) {
        EXPECT_EQ(flooded.data, "12.5");
    }
    // Once the flood is over the unit is reached again.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    Exchange x;
    while ((x = rig.Transact("0001r1ina;;")).rc != kResultOk && std::chrono::steady_clock::now() < end) {
    }
    EXPECT_EQ(x.rc, kResultOk);
    EXPECT_EQ(x.data, "-43");
}

// A unit that floods without end after a reply: the next exchange ends with an
// error while the flood goes on (a watchdog turns a hang into a failure), the
// connection is dropped, and once the flood stops the unit is reached again.
TEST_P(ReplyOrder, EndlessFloodEndsTheExchangeWithAnErrorAndTheLinkRecoversAfterIt) {
    const uint64_t connectionsBefore = rig.unit->Counters().tcpConnections;
    if (!Serial()) {
        // A deep receive queue on the link's side keeps the flood ahead of any reader.
        const int deep = 8 << 20;
        ::setsockopt(rig.link->Socket(), SOL_SOCKET, SO_RCVBUF, &deep, sizeof deep);
    }
    rig.unit->SetFault(Fault::Flood, 1, sim::kWithoutEnd);
    const Exchange first = rig.Transact("0001r1loc;;");   // the reply, then the flood
    if (first.rc == kResultOk) {
        EXPECT_EQ(first.data, "1");
    }
    ASSERT_TRUE(rig.WaitForInput(std::chrono::seconds(5))) << "the flood did not begin";

    auto flooded = std::async(std::launch::async, [&] { return rig.Transact("0001r1snr;;"); });
    const bool ended = flooded.wait_for(3 * rig.AttemptBound() + UnitRig::kSlack) == std::future_status::ready;
    if (!ended) rig.unit->StopFlood();   // lets a hung exchange end, so that the test can fail
    const Exchange x = flooded.get();
    ASSERT_TRUE(ended) << "the exchange did not end while the unit flooded";
    EXPECT_NE(x.rc, kResultOk);
    if (!Serial()) {
        EXPECT_FALSE(rig.link->HasSocket()) << "the flooding connection was kept";
    }

    rig.unit->StopFlood();
    // The requests the unit took in while flooding may still be answered late;
    // the link reaches it again all the same, with every value its own.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    Exchange next;
    while ((next = rig.Transact("0001r1ina;;")).rc != kResultOk && std::chrono::steady_clock::now() < end) {
    }
    EXPECT_EQ(next.rc, kResultOk);
    EXPECT_EQ(next.data, "-43");
    ExpectNoShiftedValue(2);
    if (!Serial()) {
        EXPECT_GT(rig.unit->Counters().tcpConnections, connectionsBefore) << "no new connection after the flood";
    }
}

// A unit that repeats each reply as a write of its own, right behind the
// first, while every next request is sent at once. A copy that arrived before
// the next request went out is thrown away with it (the debug line says so),
// and that request gets its own reply. A copy that arrives only after the next
// request went out cannot be told from that request's reply: replies carry no
// request identifier, only the unit's address, the status and the data. It is
// caught by the discard in front of the exchange after that one.
TEST_P(ReplyOrder, RepeatSentAsASecondWriteNeverAnswersTheNextRequestOnceItHasArrived) {
    std::mutex linesMutex;
    std::vector<std::string> lines;
    SetDebugSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(linesMutex);
        lines.push_back(line);
    });
    const char* const codes[] = {"1loc", "1snr", "1ina"};
    int checked = 0;
    for (int trial = 0; trial < 20; ++trial) {
        // Each trial starts on a quiet line: whatever an earlier trial left
        // is thrown away by an exchange whose answer is not looked at.
        std::this_thread::sleep_for(milliseconds(20));
        rig.Transact("0001rgadd;;");
        const std::string first = codes[trial % 3];
        const std::string second = codes[(trial + 1) % 3];
        rig.unit->SetFault(Fault::ReplyTwiceApart, 1);
        const Exchange repeated = rig.Transact("0001r" + first + ";;");
        if (repeated.rc == kResultOk) {
            EXPECT_EQ(repeated.data, rig.unit->Value(first));
        }
        {
            std::lock_guard<std::mutex> lock(linesMutex);
            lines.clear();
        }
        const Exchange next = rig.Transact("0001r" + second + ";;");   // at once
        // Was the whole copy there before this request went out?
        const size_t copyLength = sim::BuildReplyFrame(1, '1', rig.unit->Value(first)).size();
        bool copyThrownAway = false;
        {
            std::lock_guard<std::mutex> lock(linesMutex);
            for (const std::string& line : lines) {
                long n = 0;
                if (std::sscanf(line.c_str(), "Discarded %ld stale bytes", &n) == 1 && size_t(n) >= copyLength)
                    copyThrownAway = true;
                if (line.rfind("Dropping the connection", 0) == 0) copyThrownAway = true;
            }
        }
        if (!copyThrownAway) continue;
        ++checked;
        EXPECT_EQ(next.rc, kResultOk) << "trial " << trial;
        EXPECT_EQ(next.data, rig.unit->Value(second)) << second << " in trial " << trial;
    }
    SetDebugSink(nullptr);
    // On an idle machine nearly every copy is there before the next request.
    EXPECT_GT(checked, 0) << "no repeat arrived before the next request";
}

TEST_P(ReplyOrder, OddReportedAddressIsNoAddress) {
    rig.unit->SetFault(Fault::OddAddress, 1, 12345);
    const Exchange x = rig.Transact("9999rgadd;;");
    ASSERT_EQ(x.rc, kResultOk);   // the link takes the frame; the address check refuses its value
    int address = -1;
    EXPECT_FALSE(ParseUnitAddress(x.data, address));
    EXPECT_EQ(address, -1);
    for (const char* bad : {"-12", "99999999999", "12345", "", "1a", " 12"}) EXPECT_FALSE(ParseUnitAddress(bad, address)) << bad;
    EXPECT_TRUE(ParseUnitAddress("9999", address));
    EXPECT_EQ(address, 9999);
    EXPECT_TRUE(ParseUnitAddress("0", address));
    EXPECT_EQ(address, 0);
}

// The link's count of replies sent unasked: what follows an accepted reply
// counts (with it, before the next request, or while the link listens after
// the last one), a late answer to a failed exchange does not.
TEST_P(ReplyOrder, RepliesSentUnaskedAreCountedLateAnswersToFailuresAreNot) {
    struct Case {
        const char* name;
        Fault fault;
        uint32_t delayMs;   // 0: the bound of an attempt and more (a slow reply)
        const char* code;
        bool countedByTheReads;    // before the listening
        bool countedAfterListening;
    };
    const Case cases[] = {
        {"no fault", Fault::None, 0, "1loc", false, false},
        {"copy in the same write", Fault::ReplyTwice, 0, "1loc", true, true},
        {"copy 20 ms behind the last reply", Fault::ReplyTwiceApart, 20, "1ina", false, true},
        {"answer after the attempt failed", Fault::SlowReply, 0, "1snr", false, false},
    };
    for (const Case& c : cases) {
        const uint32_t slow = uint32_t((rig.AttemptBound() + milliseconds(300)).count());
        if (c.fault != Fault::None) rig.unit->SetFault(c.fault, 1, c.delayMs ? c.delayMs : slow, c.code);
        const uint64_t before = rig.link->UnrequestedReplies();
        for (const char* code : {"1loc", "1snr", "1ina"}) rig.Transact(std::string("0001r") + code + ";;");
        // The slow reply arrives while the next requests are made.
        if (c.fault == Fault::SlowReply) {
            std::this_thread::sleep_for(milliseconds(slow) - rig.AttemptBound());
            rig.Transact("0001r1loc;;");
        }
        EXPECT_EQ(rig.link->UnrequestedReplies() != before, c.countedByTheReads) << c.name;
        rig.link->ExpectQuiet(100);
        EXPECT_EQ(rig.link->UnrequestedReplies() != before, c.countedAfterListening) << c.name;
        rig.unit->ClearFault();
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, ReplyOrder, ::testing::Values(Transport::Serial, Transport::Tcp),
                         [](const ::testing::TestParamInfo<Transport>& p) { return std::string(TransportName(p.param)); });

// A unit that drips its reply one byte at a time keeps one serial exchange
// going only up to its bound, after which it fails like a silent reply.
TEST(SerialBounds, DrippingReplyEndsLikeASilentOne) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    {
        SerialTimeouts kept = rig.link->CommTimeouts();
        kept.readTotalConstant = 2500;
        rig.link->SetCommTimeouts(kept);
    }
    {
        LinkGuard guard(rig.link->LinkMutex());
        ASSERT_EQ(rig.link->SetCommTimeout(2, 2500), kResultOk);
    }
    rig.unit->SetFault(Fault::Drip, -1, 1500);
    const Exchange x = rig.Transact("0001r1loc;;");
    EXPECT_EQ(x.rc, kErrTimedOut);
    EXPECT_EQ(rig.link->Connected(), 0);
    // 10 s beyond the line time of 256 bytes; checked generously.
    EXPECT_LE(x.elapsed, 3 * milliseconds(10000 + 267));
}

// Read totals of 0 and 0 mean no total limit, not "return at once".
TEST(SerialBounds, ZeroReadTotalsStillWaitForTheReply) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    {
        LinkGuard guard(rig.link->LinkMutex());
        ASSERT_EQ(rig.link->SetCommTimeout(1, 0), kResultOk);
        ASSERT_EQ(rig.link->SetCommTimeout(2, 0), kResultOk);
    }
    rig.unit->SetFault(Fault::SlowReply, 1, 300);
    const Exchange x = rig.Transact("0001rgadd;;");
    EXPECT_EQ(x.rc, kResultOk);
    EXPECT_EQ(x.data, "1");
    // A silent unit still ends within the capped wait (three attempts).
    rig.unit->SetFault(Fault::Silence);
    const Exchange silent = rig.Transact("0001rgadd;;");
    EXPECT_EQ(silent.rc, kErrTimedOut);
    EXPECT_LE(silent.elapsed, 3 * 3 * milliseconds(2501));
}

}  // namespace

namespace {

// The unit answers every attempt of one request later than the serial
// time-out, so that the exchange fails; the next request follows at once and
// must get its own reply, not one of the three late ones.
TEST(SerialBounds, LateRepliesToAFailedExchangeNeverAnswerTheNextRequest) {
    UnitRig rig(Transport::Serial);
    ASSERT_TRUE(rig.Start());
    rig.unit->SetValue("1loc", "1");
    rig.unit->SetValue("1snr", "12.5");
    // The late replies come about a second apart: within the line's
    // read-interval time-out, so the line does not count as quiet between them.
    {
        SerialTimeouts kept = rig.link->CommTimeouts();
        kept.readInterval = 1500;
        rig.link->SetCommTimeouts(kept);
    }
    const auto late = 3 * rig.AttemptBound() + milliseconds(100);
    rig.unit->SetFault(Fault::SlowReply, 3, uint32_t(late.count()), "1loc");
    const Exchange failed = rig.Transact("0001r1loc;;");
    EXPECT_EQ(failed.rc, kErrTimedOut);
    const Exchange next = rig.Transact("0001r1snr;;");
    EXPECT_EQ(next.rc, kResultOk);
    EXPECT_EQ(next.data, "12.5");
    EXPECT_EQ(rig.unit->Counters().faultsApplied, 3u);
    const Exchange after = rig.Transact("0001r1loc;;");
    EXPECT_EQ(after.rc, kResultOk);
    EXPECT_EQ(after.data, "1");
}

}  // namespace
