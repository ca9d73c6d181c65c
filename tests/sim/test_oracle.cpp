// The oracle's values and the random fault draw of the simulated unit.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "link/requests.h"
#include "sim/sim_table.h"
#include "sim_test_util.h"

using simtest::Frame;

namespace {

sim::SimOptions OracleUnit() {
    sim::SimOptions o;
    o.serial = false;
    o.restartMs = 0;
    o.oracle = true;
    return o;
}

std::string ReadData(sim::SimUnit& u, const std::string& code) {
    std::string kept;
    ParsedReply r;
    const std::string reply = u.HandleFrame(Frame(BuildReadRequest(1, code)));
    EXPECT_EQ(AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, r), kResultOk) << code;
    EXPECT_EQ(r.status, '1') << code;
    return r.data;
}

// Every read answers with a value of the code's own form that names the code
// (where the form can) and no other code.
TEST(Oracle, EveryReadNamesItsCodeInTheCodesForm) {
    sim::SimUnit unit(OracleUnit());
    int telling = 0;
    for (int round = 0; round < 3; ++round) {
        for (const sim::CodeRow* r = sim::AllCodes(); r->code; ++r) {
            if (r->store == sim::Store::Unit) continue;   // versions, model: the unit's own
            const std::string value = ReadData(unit, r->code);
            EXPECT_TRUE(sim::OracleBelongs(r->code, value)) << r->code << " = " << value;
            // Still a value the unit itself would take for the code.
            std::string stored;
            EXPECT_TRUE(sim::NormaliseWrite(*r, 0, value, &stored)) << r->code << " = " << value;
            if (!sim::OracleTells(r->code)) continue;
            ++telling;
            for (const sim::CodeRow* other = sim::AllCodes(); other->code; ++other) {
                if (other == r || !sim::OracleTells(other->code)) continue;
                EXPECT_FALSE(sim::OracleBelongs(other->code, value)) << value << " of " << r->code << " taken for " << other->code;
            }
        }
    }
    EXPECT_GE(telling, 3 * 15);   // frequencies, numbers, integers and texts
}

TEST(Oracle, ReceptionValuesCountOnAndSlotsDiffer) {
    sim::SimUnit unit(OracleUnit());
    const std::string first = ReadData(unit, "1snr");
    const std::string second = ReadData(unit, "1snr");
    EXPECT_NE(first, second);
    EXPECT_TRUE(sim::OracleBelongs("1snr", second));
    EXPECT_FALSE(sim::OracleBelongs("1mer", second));
    EXPECT_NE(unit.SlotValue(0, 1, "1ipf"), unit.SlotValue(0, 2, "1ipf"));
    EXPECT_NE(unit.SlotValue(0, 1, "edef"), unit.SlotValue(0, 2, "edef"));
    // A written value is kept and answered as written.
    std::string kept;
    ParsedReply r;
    const std::string reply = unit.HandleFrame(Frame(BuildWriteRequest(1, "edef", "Main")));
    ASSERT_EQ(AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, r), kResultOk);
    EXPECT_EQ(ReadData(unit, "edef"), "Main");
    // Unknown codes and foreign values are no one's.
    EXPECT_FALSE(sim::OracleBelongs("zzzz", "10-0001"));
    EXPECT_FALSE(sim::OracleBelongs("edef", "Main"));
    EXPECT_FALSE(sim::OracleBelongs("1snr", "18.5"));
    EXPECT_EQ(sim::OracleValue("zzzz", 0, 1), "");
}

TEST(Oracle, ValuesStayDotDecimalUnderACommaLocale) {
    const std::string value = sim::OracleValue("1snr", 0, 42);
    EXPECT_EQ(value.find(','), std::string::npos);
    EXPECT_TRUE(sim::OracleBelongs("1snr", value));
    EXPECT_EQ(value.substr(value.size() - 5), ".0042");
}

// The draw hits about the share of replies asked for, restarts among them,
// and draws none once it is switched off.
TEST(RandomFaults, DrawsEveryKindAtTheShareAskedFor) {
    sim::SimOptions o = OracleUnit();
    o.seed = 7;
    o.randomFaultRate = 0.5;
    o.randomFaultMaxMs = 1;
    o.serial = true;
    sim::SimUnit unit(o);
    std::string error;
    ASSERT_TRUE(unit.Start(&error)) << error;
    simtest::SerialClient line(unit.PtySlavePath());
    ASSERT_TRUE(line.IsOpen());
    const int requests = 400;
    for (int i = 0; i < requests; ++i) {
        line.ReadPending();
        line.Send(Frame(BuildReadRequest(1, "1snr")));
        line.ReadUntilEtx(40);
    }
    ASSERT_TRUE(simtest::WaitFor([&] { return unit.Counters().framesTaken >= uint64_t(requests) - 10; }));
    const uint64_t drawn = unit.Counters().randomFaults;
    EXPECT_GT(drawn, uint64_t(requests) * 3 / 10);
    EXPECT_LT(drawn, uint64_t(requests) * 7 / 10);
    EXPECT_GT(unit.Counters().restarts, 0u);
    unit.SetRandomFaults(0.0, 1);
    for (int i = 0; i < 20; ++i) {
        line.ReadPending();
        EXPECT_NE(line.Exchange(BuildReadRequest(1, "1snr")).find(char(kEtx)), std::string::npos);
    }
    EXPECT_EQ(unit.Counters().randomFaults, drawn);

    std::set<std::string> names;
    for (const sim::Fault f : sim::RandomFaultKinds()) names.insert(sim::FaultName(f));
    EXPECT_EQ(names.size(), 11u);
    EXPECT_EQ(names.count("ReplyTwiceApart"), 0u);
    EXPECT_EQ(names.count("Restart"), 1u);
    sim::Fault parsed = sim::Fault::None;
    EXPECT_TRUE(sim::ParseFault("restart", &parsed));
    EXPECT_EQ(parsed, sim::Fault::Restart);
}

}  // namespace
