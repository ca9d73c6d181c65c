// The unit's answers, without any I/O: frames in, frames out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "link/requests.h"
#include "sim/sim_table.h"
#include "sim_test_util.h"

using simtest::Frame;
using simtest::Reply;

namespace {

sim::SimOptions Quiet(bool k840 = false) {
    sim::SimOptions o;
    o.serial = false;
    o.k840 = k840;
    o.drift = false;
    o.restartMs = 0;
    return o;
}

// Status and data of a reply, checked by the program's own reply rules.
ParsedReply Parse(const std::string& reply) {
    std::string kept;
    ParsedReply out;
    EXPECT_EQ(AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, out), kResultOk)
        << "reply not acceptable: " << reply;
    return out;
}

std::string Read(sim::SimUnit& u, const std::string& code, int address = 1) {
    const ParsedReply r = Parse(u.HandleFrame(Frame(BuildReadRequest(address, code))));
    return r.status == '1' ? r.data : "<E>";
}

char Write(sim::SimUnit& u, const std::string& code, const std::string& value) {
    return char(Parse(u.HandleFrame(Frame(BuildWriteRequest(1, code, value)))).status);
}

}  // namespace

TEST(SimUnitLogic, ReplyBytesReadWriteAndUnknownCode) {
    sim::SimUnit u(Quiet());
    // Read of the input frequency: STX, "0001", '1', GHz text, ';', checksum, ETX.
    std::string expected = "\x02" "0001" "1" "1.750000;";   // address, status, data
    expected.push_back(char(ComputeChecksum(reinterpret_cast<const uint8_t*>(expected.data()) + 1, expected.size() - 1)));
    expected.push_back('\x03');
    EXPECT_EQ(u.HandleFrame(Frame("0001r1ipf;;")), expected);

    // A write answers '1' with the stored value, normalised to the unit's form.
    EXPECT_EQ(u.HandleFrame(Frame("0001w1ipf;1.7;")), Reply(1, '1', "1.700000"));
    EXPECT_EQ(u.Value("1ipf"), "1.700000");
    // Unknown codes, non-writable codes and a bad operation answer 'E'.
    EXPECT_EQ(u.HandleFrame(Frame("0001rzzzz;;")), Reply(1, 'E', ""));
    EXPECT_EQ(u.HandleFrame(Frame("0001wgser;123;")), Reply(1, 'E', ""));
    EXPECT_EQ(u.HandleFrame(Frame("0001x1ipf;;")), Reply(1, 'E', ""));
    EXPECT_EQ(u.Value("gser"), "830-10231");
}

TEST(SimUnitLogic, AddressFilteringAndAnyUnitAddress) {
    sim::SimOptions o = Quiet();
    o.address = 42;
    sim::SimUnit u(o);
    EXPECT_EQ(u.HandleFrame(Frame("9999rgadd;;")), Reply(42, '1', "42"));
    EXPECT_EQ(Read(u, "1loc", 42), "1");
    EXPECT_EQ(u.HandleFrame(Frame("0001r1loc;;")), "");   // another unit's request
    EXPECT_EQ(u.HandleFrame(Frame("00x2r1loc;;")), "");
    const sim::SimCounters c = u.Counters();
    EXPECT_EQ(c.otherAddress, 2u);
    EXPECT_EQ(c.framesTaken, 2u);
    EXPECT_EQ(u.Requests(), (std::vector<std::string>{Frame("9999rgadd;;"), Frame("0042r1loc;;")}));
}

TEST(SimUnitLogic, MalformedFramesAreIgnoredNotAnswered) {
    sim::SimUnit u(Quiet());
    std::string bad = Frame("0001r1loc;;");
    bad[bad.size() - 2] = char(uint8_t(bad[bad.size() - 2]) ^ 0x04);
    EXPECT_EQ(u.HandleFrame(bad), "");
    EXPECT_EQ(u.HandleFrame(""), "");
    EXPECT_EQ(u.HandleFrame("\x02\x03"), "");
    EXPECT_EQ(u.HandleFrame(std::string(600, '\x02')), "");
    EXPECT_EQ(u.Counters().badChecksum, 4u);
    EXPECT_TRUE(u.Requests().empty());
    // Every byte value in every position: never a crash, replies always acceptable.
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        std::string text = "0001r1loc;;";
        text[size_t(rng() % text.size())] = char(rng() % 256);
        const std::string reply = u.HandleFrame(Frame(text));
        if (!reply.empty()) Parse(reply);
    }
}

TEST(SimUnitLogic, OptionWritesTakeOnlyRealOptionNumbers) {
    sim::SimUnit u(Quiet());
    // Narrowband bandwidth numbers 0-2 are placeholders; 3-5 are real.
    EXPECT_EQ(Write(u, "1wid", "0"), 'E');
    EXPECT_EQ(Write(u, "1wid", "6"), 'E');
    EXPECT_EQ(Write(u, "1wid", "x"), 'E');
    EXPECT_EQ(Read(u, "1wid"), "3");
    EXPECT_EQ(Write(u, "1wid", "5"), '1');
    EXPECT_EQ(Read(u, "1wid"), "5");
    EXPECT_EQ(Write(u, "zdes", "2"), 'E');   // placeholder among the descrambling modes
    EXPECT_EQ(Write(u, "zdes", "11"), '1');
    EXPECT_EQ(Write(u, "e525", "0"), 'E');
    EXPECT_EQ(Write(u, "gmod", "8"), '1');
    EXPECT_EQ(Read(u, "gmod"), "8");
    EXPECT_EQ(Write(u, "gmod", "0"), '1');
    EXPECT_EQ(Read(u, "gmod"), "0");
    EXPECT_EQ(Write(u, "edef", "a;b"), 'E');
    EXPECT_EQ(Write(u, "edef", "News 24"), '1');
    EXPECT_EQ(Read(u, "edef"), "News 24");
    EXPECT_EQ(Write(u, "1dco", "-1"), 'E');
}

// Every code of the tables answers a value of its row's form; option numbers
// name real options of the current mode's list.
TEST(SimUnitLogic, EveryCodeAnswersAValueOfItsForm) {
    for (int mode = 0; mode < 2; ++mode) {
        sim::SimOptions o = Quiet();
        o.mode = mode;
        o.drift = true;
        sim::SimUnit u(o);
        for (const sim::CodeRow* r = sim::AllCodes(); r->code; ++r) {
            SCOPED_TRACE(std::string(r->code) + " mode " + std::to_string(mode));
            for (int i = 0; i < 20; ++i) {   // drifting values stay in form too
                const std::string v = Read(u, r->code);
                ASSERT_NE(v, "<E>");
                ASSERT_FALSE(v.empty());
                std::string normalised;
                switch (r->form) {
                    case sim::Form::Option: EXPECT_TRUE(sim::IsValidOption(*r, mode, v)) << v; break;
                    case sim::Form::Ghz:
                        EXPECT_TRUE(sim::NormaliseWrite(*r, mode, v, &normalised)) << v;
                        EXPECT_EQ(normalised, v) << "GHz values carry six decimals";
                        break;
                    default: EXPECT_TRUE(sim::NormaliseWrite(*r, mode, v, &normalised)) << v; break;
                }
            }
        }
        EXPECT_EQ(Read(u, "gudm"), std::to_string(mode));
        EXPECT_EQ(Read(u, "dlas"), "1");
        EXPECT_EQ(Read(u, "gfpg"), "4660");
    }
}

TEST(SimUnitLogic, SlotsStoreAndLoadPerMode) {
    sim::SimUnit u(Quiet());
    ASSERT_EQ(Write(u, "edef", "Mine"), '1');
    ASSERT_EQ(Write(u, "dsto", "3"), '1');
    EXPECT_EQ(u.SlotValue(0, 3, "edef"), "Mine");
    EXPECT_EQ(u.SlotValue(1, 3, "edef"), "DVBT slot 3");   // the other mode's slot is untouched
    ASSERT_EQ(Write(u, "dloa", "5"), '1');
    EXPECT_EQ(Read(u, "edef"), "Narrowband slot 5");
    EXPECT_EQ(Read(u, "dlas"), "5");
    EXPECT_EQ(Read(u, "1ipf"), "1.790000");
    ASSERT_EQ(Write(u, "dloa", "3"), '1');
    EXPECT_EQ(Read(u, "edef"), "Mine");
    EXPECT_EQ(u.LastLoadedSlot(), 3);
    // Slot numbers outside 1..8 are refused and change nothing (e.g. -1 while unknown).
    EXPECT_EQ(Write(u, "dsto", "-1"), 'E');
    EXPECT_EQ(Write(u, "dloa", "9"), 'E');
    EXPECT_EQ(Write(u, "dloa", "0"), 'E');
    EXPECT_EQ(u.LastLoadedSlot(), 3);

    // In DVB-T the unit runs that mode's slot it last loaded (slot 1 so far).
    ASSERT_EQ(Write(u, "gudm", "1"), '1');
    EXPECT_EQ(u.Mode(), 1);
    EXPECT_EQ(Read(u, "edef"), "DVBT slot 1");
    EXPECT_EQ(Read(u, "1wid"), "0");
    ASSERT_EQ(Write(u, "dloa", "6"), '1');
    ASSERT_EQ(Write(u, "1gua", "3"), '1');   // 1/4 exists only in DVB-T
    ASSERT_EQ(Write(u, "dsto", "6"), '1');
    EXPECT_EQ(u.SlotValue(1, 6, "1gua"), "3");
    EXPECT_EQ(u.SlotValue(0, 6, "1gua"), "1");
    // Back in narrowband: slot 3 again, with its stored content.
    ASSERT_EQ(Write(u, "gudm", "0"), '1');
    EXPECT_EQ(Read(u, "dlas"), "3");
    EXPECT_EQ(Read(u, "edef"), "Mine");
    EXPECT_EQ(Write(u, "1gua", "3"), 'E');
    EXPECT_EQ(Write(u, "gudm", "2"), 'E');
    EXPECT_EQ(u.Mode(), 0);
}

TEST(SimUnitLogic, K840HasOneModeAndItsModelToken) {
    sim::SimUnit k(Quiet(true));
    EXPECT_EQ(Read(k, "gbty"), "K840");
    EXPECT_EQ(Read(k, "gudm"), "0");
    EXPECT_EQ(Write(k, "gudm", "1"), 'E');
    EXPECT_EQ(k.Mode(), 0);
    EXPECT_FALSE(k.IsRestarting());
    EXPECT_EQ(k.Counters().restarts, 0u);
    EXPECT_EQ(k.SlotValue(1, 1, "edef"), "");
    EXPECT_EQ(k.SlotValue(0, 1, "edef"), "Narrowband slot 1");

    sim::SimUnit two(Quiet());
    EXPECT_NE(Read(two, "gbty"), "K840");
}

TEST(SimUnitLogic, AddressChangeAndFactoryDefaults) {
    sim::SimUnit u(Quiet());
    EXPECT_EQ(u.HandleFrame(Frame("0001wgadd;12;")), Reply(1, 'E', ""));     // not four digits
    EXPECT_EQ(u.HandleFrame(Frame("0001wgadd;9999;")), Reply(1, 'E', ""));   // the any-unit address
    EXPECT_EQ(u.HandleFrame(Frame("0001wgadd;0123;")), Reply(123, '1', "0123"));
    EXPECT_EQ(u.Address(), 123);
    EXPECT_EQ(u.HandleFrame(Frame("0001r1loc;;")), "");   // the old address is no longer answered
    EXPECT_EQ(Read(u, "gadd", 123), "123");
    EXPECT_EQ(Read(u, "gadd", 9999), "123");

    ASSERT_EQ(Parse(u.HandleFrame(Frame("0123w1ipf;3.2;"))).status, '1');
    ASSERT_EQ(Parse(u.HandleFrame(Frame("0123wdsto;4;"))).status, '1');
    ASSERT_EQ(Parse(u.HandleFrame(Frame("0123wdloa;4;"))).status, '1');
    EXPECT_EQ(Parse(u.HandleFrame(Frame("0123wddef;0;"))).status, 'E');
    EXPECT_EQ(Parse(u.HandleFrame(Frame("0123wddef;1;"))).status, '1');
    EXPECT_EQ(u.SlotValue(0, 4, "1ipf"), "1.780000");
    EXPECT_EQ(Read(u, "dlas", 123), "1");
    EXPECT_EQ(u.Address(), 123);   // the address survives the factory reset
    EXPECT_EQ(u.Counters().restarts, 1u);
}

TEST(SimUnitLogic, KeysAreStoredNeverEchoed) {
    sim::SimUnit u(Quiet());
    EXPECT_EQ(u.HandleFrame(Frame("0001wzebs;0a1B2c3D;")), Reply(1, '1', ""));
    EXPECT_EQ(u.LastKey("zebs"), "0a1B2c3D");
    const std::string lower(32, 'a'), upper(32, 'F');
    EXPECT_EQ(Write(u, "zaes", lower), '1');
    EXPECT_EQ(Write(u, "za25", upper), '1');
    EXPECT_EQ(u.LastKey("zaes"), lower);
    EXPECT_EQ(u.LastKey("za25"), upper);
    EXPECT_EQ(Write(u, "zebs", "0a1B2c3g"), 'E');
    EXPECT_EQ(Write(u, "zaes", "abc"), 'E');
    EXPECT_EQ(u.LastKey("zebs"), "0a1B2c3D");
    EXPECT_EQ(Read(u, "zaes"), "<E>");
}

TEST(SimUnitLogic, BulkReadIsOneLongFrame) {
    sim::SimUnit u(Quiet());
    const std::string reply = u.HandleFrame(Frame("0001rgrea;;"));
    EXPECT_GT(reply.size(), 135u);
    EXPECT_LE(reply.size(), kMaxSerialReply);
    EXPECT_EQ(reply.find('\x03'), reply.size() - 1);
    EXPECT_NE(Parse(reply).data.find("1snr=18.5,"), std::string::npos);
}

TEST(SimUnitLogic, RestartSilencesTheUnitForItsTime) {
    sim::SimOptions o = Quiet();
    o.restartMs = 600000;
    sim::SimUnit u(o);
    ASSERT_EQ(Write(u, "gudm", "1"), '1');
    EXPECT_TRUE(u.IsRestarting());
    EXPECT_EQ(u.HandleFrame(Frame("0001rgudm;;")), "");
    EXPECT_EQ(u.HandleFrame(Frame("9999rgadd;;")), "");
    EXPECT_EQ(u.Counters().ignoredRestarting, 2u);
    EXPECT_EQ(u.Mode(), 1);

    sim::SimUnit quick(Quiet());   // restartMs 0: answers at once again
    quick.RestartNow();
    EXPECT_FALSE(quick.IsRestarting());
    EXPECT_EQ(Read(quick, "gudm"), "0");
}

TEST(SimUnitLogic, DriftIsSeededAndCanBeSwitchedOff) {
    auto series = [](bool drift, uint32_t seed) {
        sim::SimOptions o = Quiet();
        o.drift = drift;
        o.seed = seed;
        sim::SimUnit u(o);
        std::string all;
        for (int i = 0; i < 50; ++i) all += Read(u, "1snr") + "," + Read(u, "1ina") + "," + Read(u, "1pkt") + ";";
        return all;
    };
    EXPECT_EQ(series(true, 5), series(true, 5));
    EXPECT_NE(series(true, 5), series(true, 6));
    std::string still;
    for (int i = 0; i < 50; ++i) still += "18.5,-45.6,000000;";
    EXPECT_EQ(series(false, 5), still);

    sim::SimUnit u(Quiet());
    u.SetValue("1snr", "3.0");
    u.SetValue("1loc", "0");
    EXPECT_EQ(Read(u, "1snr"), "3.0");
    EXPECT_EQ(Read(u, "1loc"), "0");
}
