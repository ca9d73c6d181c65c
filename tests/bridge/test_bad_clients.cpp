// Clients that misbehave: garbage, broken frames, a client that vanishes in
// the middle of its exchange, one that says nothing, one too many. Each is
// dropped; a well-behaved client beside it sees no difference.
#include <gtest/gtest.h>

#include <thread>

#include "bridge/bridge_rig.h"
#include "link/envelope.h"
#include "support/frame_text.h"

using namespace bridgetest;
using testsupport::Frame;

namespace {

std::string BadLengthBlock() {
    std::string block(8, '\0');
    LinkCipher().EncipherBlocks(reinterpret_cast<uint8_t*>(block.data()), block.size());
    return block;
}

// The good client's check: a read that brings the unit's own value.
void ExpectServed(LinkClient& client, BridgeRig& rig, const char* code) {
    const std::optional<std::string> value = client.Read(code);
    ASSERT_TRUE(value.has_value()) << code;
    EXPECT_EQ(*value, rig.unit->Value(code));
}

}  // namespace

TEST(BadClients, NoEnvelopeOrNoFrameGetsNothingAndThreeEndTheConnection) {
    BridgeRig rig;
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    LinkClient good(rig.ip);
    ExpectServed(good, rig, "gser");
    RawClient bad(rig.ip);
    ASSERT_TRUE(bad.Connected());

    std::string badSum = Frame("0001r1wid;;");
    badSum[badSum.size() - 2] = char(uint8_t(badSum[badSum.size() - 2]) ^ 1);
    ASSERT_TRUE(bad.SendBytes(BadLengthBlock()));
    EXPECT_EQ(bad.Receive(400ms), "");
    ExpectServed(good, rig, "1snr");
    ASSERT_TRUE(bad.SendFrame(badSum));
    EXPECT_EQ(bad.Receive(400ms), "");
    ExpectServed(good, rig, "1ina");
    ASSERT_TRUE(bad.SendFrame("not a frame"));
    EXPECT_TRUE(bad.WaitClosed(5s));
    ExpectServed(good, rig, "gsof");
    // Nothing of the bad client reached the unit (nobody else reads 1wid).
    for (const std::string& frame : rig.unit->Requests()) EXPECT_EQ(frame.find("1wid"), std::string::npos);
    EXPECT_EQ(rig.unit->Counters().badChecksum, 0u);
}

TEST(BadClients, AClientThatVanishesMidExchangeHasItsReplyDropped) {
    BridgeRig rig;
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    LinkClient good(rig.ip);
    ExpectServed(good, rig, "gsof");
    // The vanishing client's request is answered late; it has gone by then.
    rig.unit->SetFault(sim::Fault::SlowReply, 1, 400, "gser");
    {
        RawClient gone(rig.ip);
        ASSERT_TRUE(gone.SendFrame(Frame("0001rgser;;")));
        std::this_thread::sleep_for(100ms);   // the bridge has passed it on
    }
    // The good client's next reply is its own, not the vanished client's.
    for (int i = 0; i < 5; ++i) ExpectServed(good, rig, "gsof");
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients"), 1));
    EXPECT_EQ(rig.bridge.Stop(), 0);
}

TEST(BadClients, ASilentClientIsClosedAfterTheIdleTimeAndABusyOneIsNot) {
    RigOptions options;
    options.extraArgs = {"--idle-timeout", "1"};
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    RawClient silent(rig.ip);
    LinkClient busy(rig.ip);
    ASSERT_TRUE(silent.Connected());
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    // The busy client reads every 200 ms for three idle times.
    while (std::chrono::steady_clock::now() - start < 3s) {
        ExpectServed(busy, rig, "gser");
        if (!closed) closed = silent.WaitClosed(200ms);
        else std::this_thread::sleep_for(200ms);
    }
    EXPECT_TRUE(closed);
    EXPECT_NE(rig.bridge.Err().find("idle: closed"), std::string::npos) << rig.bridge.Err();
}

TEST(BadClients, ClientsBeyondTheMaximumAreRefused) {
    RigOptions options;
    options.extraArgs = {"--max-clients", "2"};
    BridgeRig rig(options);
    ASSERT_TRUE(rig.Start()) << rig.bridge.Err();
    auto first = std::make_unique<LinkClient>(rig.ip);
    LinkClient second(rig.ip);
    ExpectServed(*first, rig, "gser");
    ExpectServed(second, rig, "gsof");
    RawClient third(rig.ip);
    ASSERT_TRUE(third.SendFrame(Frame("0001rgser;;")));
    EXPECT_TRUE(third.WaitClosed(5s));
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients_refused_total"), 1));
    EXPECT_NE(rig.bridge.Err().find("refused: 2 clients already"), std::string::npos) << rig.bridge.Err();
    ExpectServed(*first, rig, "1snr");
    ExpectServed(second, rig, "1ina");
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients"), 2));
    // Once one has gone, a new client is taken.
    first.reset();
    EXPECT_TRUE(rig.WaitForSample(rig.Series("tavrin_bridge_clients"), 1));
    LinkClient fourth(rig.ip);
    ExpectServed(fourth, rig, "gbty");
}
