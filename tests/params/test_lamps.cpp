// The lamp rule: the three lamps from one cycle's reads and what the last
// cycle left, and the history's lock bands that follow it.
#include <gtest/gtest.h>

#include "params/lamps.h"
#include "params/param_table.h"
#include "params/poll_sample.h"

namespace {

constexpr LampState G = LampState::Green, R = LampState::Red, Y = LampState::Grey;
constexpr uint8_t kAll = kEveryPollItem;
constexpr uint8_t kGraphsOnly = (1u << PollItemSnr) | (1u << PollItemLevels);

struct LampCase {
    const char* what;
    LampMemory before;
    bool answered;
    uint8_t items;
    const char* lock;
    const char* packetErrors;
    const char* decoderLock;
    Lamps lamps;
    int64_t lockValue;
};

const LampCase kCases[] = {
    {"locked, no errors", {}, true, kAll, "1", "0", "1", {G, G, G}, 1},
    {"packet errors redden reception only", {}, true, kAll, "1", "3", "0", {G, R, R}, 1},
    {"the unit's zero-padded numbers", {}, true, kAll, "0001", "000000", "1", {G, G, G}, 1},
    {"nothing answered: grey, the lock value kept", {{G, G, G}, 1}, false, kAll, "", "", "", {Y, Y, Y}, 1},
    {"items not read are grey", {{G, G, G}, 1}, true, kGraphsOnly, "", "", "", {Y, Y, Y}, 1},
    {"a failed lock read: reception takes the last lock", {{G, R, G}, 1}, true, kAll, "", "0", "1", {G, G, G}, 1},
    {"before any lock read reception takes not locked", {}, true, kAll, "", "0", "", {Y, R, Y}, 0},
    {"failed reads keep what the lamps showed", {{R, R, G}, 0}, true, kAll, "", "", "", {R, R, G}, 0},
    {"a lamp grey before stays grey on a failed read", {{Y, Y, Y}, 1}, true, kAll, "", "0", "", {Y, G, Y}, 1},
    {"unlocked now, whatever the errors", {{G, G, G}, 1}, true, kAll, "0", "0", "1", {R, R, G}, 0},
};

PollSample Cycle(const LampCase& c) {
    PollSample sample;
    sample.connected = c.answered;
    sample.itemsRead = c.items;
    sample.lampsBefore = c.before;
    sample.values[kColDemodLock] = c.lock;
    sample.values[kColPacketErrors] = c.packetErrors;
    sample.values[kColDecoderLock] = c.decoderLock;
    return sample;
}

}  // namespace

TEST(LampRule, FromOneCycleAndWhatTheLastLeft) {
    for (const LampCase& c : kCases) {
        const PollSample sample = Cycle(c);
        const LampMemory after = LampsAfter(c.before, sample);
        EXPECT_EQ(after.shown, c.lamps) << c.what;
        EXPECT_EQ(after.lockValue, c.lockValue) << c.what;
        EXPECT_EQ(SampleLamps(sample), c.lamps) << c.what;
    }
}

TEST(LampRule, LampsByNameAndByTheReadThatSetsThem) {
    const Lamps lamps{G, R, Y};
    EXPECT_EQ(lamps.Of(Lamp::DemodLock), G);
    EXPECT_EQ(lamps.Of(Lamp::Reception), R);
    EXPECT_EQ(lamps.Of(Lamp::DecoderLock), Y);
    EXPECT_EQ(LampOfColumn(kColDemodLock), Lamp::DemodLock);
    EXPECT_EQ(LampOfColumn(kColPacketErrors), Lamp::Reception);
    EXPECT_EQ(LampOfColumn(kColDecoderLock), Lamp::DecoderLock);
    EXPECT_EQ(LampOfColumn(kColSnrA), std::nullopt);
}

// The lamps a cycle greys, as its report carries them to the window.
TEST(LampRule, TheLampsACycleGreys) {
    constexpr auto bit = [](Lamp lamp) { return uint8_t(1u << int(lamp)); };
    const uint8_t all = bit(Lamp::DemodLock) | bit(Lamp::Reception) | bit(Lamp::DecoderLock);
    EXPECT_EQ(GreyLampsAfter(Cycle(kCases[0])), 0);
    EXPECT_EQ(GreyLampsAfter(Cycle(kCases[3])), all);   // nothing answered
    EXPECT_EQ(GreyLampsAfter(Cycle(kCases[4])), all);   // no lock item read
    PollSample lockOnly = Cycle(kCases[0]);
    lockOnly.itemsRead = 1u << PollItemDemodLock;
    EXPECT_EQ(GreyLampsAfter(lockOnly), bit(Lamp::DecoderLock));
    // A failed read greys nothing: its lamp keeps what it showed.
    EXPECT_EQ(GreyLampsAfter(Cycle(kCases[7])), 0);
}

TEST(LampRule, TheHistoryBandsAreTheLamps) {
    // A failed lock read with the unit locked before: on, as the lamp shows.
    PollSample sample = Cycle(kCases[5]);
    HistoryPoint point = ToHistoryPoint(sample);
    EXPECT_EQ(point.locks[kBandDemodLock], LockState::On);
    EXPECT_EQ(point.locks[kBandReception], LockState::On);
    sample = Cycle(kCases[6]);   // grey and red
    point = ToHistoryPoint(sample);
    EXPECT_EQ(point.locks[kBandDemodLock], LockState::Unknown);
    EXPECT_EQ(point.locks[kBandReception], LockState::Off);
}
