// Two simulated units in one process, each with its own link, unit state,
// page and poll thread, polled and read side by side: each state and page ends
// up with its own unit's values, and each unit is asked at its own address only.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>

#include "fakes.h"
#include "params/codec.h"
#include "link/requests.h"
#include "params/poll_thread.h"
#include "support/sim_rig.h"

using namespace testing_params;

namespace {

// What one unit holds, on the wire, and how its page shows it.
struct UnitValues {
    int address;
    const char* service;     // edef
    const char* frequency;   // 1ipf, GHz on the wire
    const char* shownMhz;
    const char* snr;         // 1snr
    const char* level;       // 1ina
};

constexpr std::array<UnitValues, 2> kUnits = {{
    {1, "Harbour cam", "1.395", "1395.000", "12.5", "-45.0"},
    {23, "Gate cam", "2.405", "2405.000", "7.25", "-61.5"},
}};

testsupport::SimRigOptions OptionsFor(const UnitValues& values) {
    testsupport::SimRigOptions options;
    options.transport = testsupport::Transport::Tcp;
    options.address = values.address;
    return options;
}

// One unit and everything the program keeps for it.
struct Side {
    explicit Side(const UnitValues& v) : values(v), rig(OptionsFor(v)) {}

    const UnitValues& values;
    testsupport::SimRig rig;
    UnitState unit;
    FakePage page;
    uint8_t pollingEnabled = 1;
    uint8_t itemFlags[4] = {1, 1, 1, 1};
    PollThreadParams params;
    CPollThread poll;
};

std::string Stored(const UnitState& unit, const ParamEntry* table, const char* code) {
    return ReadParamValue(unit, *FindParam(table, code)).text;
}

}  // namespace

TEST(TwoUnits, PolledAndReadSideBySideEachKeepsItsOwnValues) {
    Side a(kUnits[0]);
    Side b(kUnits[1]);
    for (Side* side : {&a, &b}) {
        ASSERT_TRUE(side->rig.StartUnit() && side->rig.Open());
        sim::SimUnit& sim = *side->rig.unit;
        sim.SetValue("edef", side->values.service);
        sim.SetValue("1ipf", side->values.frequency);
        sim.SetValue("1snr", side->values.snr);
        sim.SetValue("1ina", side->values.level);
        PrepareNarrowbandPage(side->unit, side->page);
        sim.ClearRequests();
        side->rig.window.Clear();
        side->params.window = &side->rig.window;
        side->params.link = side->rig.link.get();
        side->params.unit = &side->unit;
        side->params.unitAddress = side->values.address;
        side->params.interval = 10;
        side->params.pollingEnabled = &side->pollingEnabled;
        side->params.pollItemFlags = side->itemFlags;
    }
    // Both poll threads run while each unit's tables are read on a thread of its own.
    ASSERT_TRUE(a.poll.Start(a.params));
    ASSERT_TRUE(b.poll.Start(b.params));
    auto readTables = [](Side& side) {
        for (int round = 0; round < 3; ++round)
            for (const ParamEntry* table : {NarrowbandDemodTable, DecoderTable})
                ReadTableToPage(side.unit, *side.rig.link, side.page, table, side.values.address, nullptr);
    };
    std::thread readA(readTables, std::ref(a));
    std::thread readB(readTables, std::ref(b));
    readA.join();
    readB.join();
    for (Side* side : {&a, &b}) {
        EXPECT_TRUE(WaitUntil([side] { return HasStored(side->unit, LevelGraphList, "1ina"); }));
        EXPECT_TRUE(side->poll.IsRunning());
    }
    a.poll.Stop();
    b.poll.Stop();

    for (Side* side : {&a, &b}) {
        SCOPED_TRACE(side->values.service);
        const UnitValues& v = side->values;
        EXPECT_EQ(Stored(side->unit, NarrowbandDemodTable, "edef"), v.service);
        EXPECT_EQ(Stored(side->unit, NarrowbandDemodTable, "1ipf"), v.shownMhz);
        EXPECT_EQ(Stored(side->unit, NarrowbandDemodTable, "1snr"), v.snr);
        EXPECT_EQ(Stored(side->unit, SnrGraphList, "1snr"), v.snr);
        EXPECT_EQ(Stored(side->unit, LevelGraphList, "1ina"), v.level);
        const int column = ids::unit_page::kNarrowbandColumn;
        EXPECT_EQ(side->page[column + ids::unit_page::column::kServiceName].text, v.service);
        EXPECT_EQ(side->page[column + ids::unit_page::column::kInputFrequency].text, v.shownMhz);
        // Every request the unit took was addressed to it.
        const std::string address = AddressedRequest(v.address, "");
        const std::vector<std::string> requests = side->rig.Requests();
        EXPECT_GT(requests.size(), 2u * (kDemodTableRows + kDecoderTableRows));
        for (const std::string& request : requests) EXPECT_EQ(request.rfind(address, 0), 0u) << request;
    }
}
