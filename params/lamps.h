// The one rule by which the three reception lamps follow from a poll cycle's
// reads. The desktop's lamps, the signal history's lock bands, tavrinctl's
// lamp words and the bridge's lock gauges all come from it.
#pragma once
#include <cstdint>
#include <optional>

#include "link/unit_events.h"

struct PollSample;

// The state of each lamp.
struct Lamps {
    LampState demodLock = LampState::Grey;
    LampState reception = LampState::Grey;
    LampState decoderLock = LampState::Grey;

    LampState Of(Lamp lamp) const;
    bool operator==(const Lamps&) const = default;
};

// What the lamps carry from one cycle to the next.
struct LampMemory {
    Lamps shown;             // the lamps as the last cycle left them
    int64_t lockValue = 0;   // the last 1loc value read ("not locked" before the first)

    bool operator==(const LampMemory&) const = default;
};

// The rule. Given what the lamps showed before and one cycle's reads:
// - no exchange of the cycle answered: all three grey (the lock value stays);
// - an item the cycle did not read: its lamps grey;
// - demod lock: green when 1loc reads 1, else red; it becomes the lock value;
// - reception: green when the lock value (this cycle's, or the last one read
//   when this cycle's read failed) is 1 and 1pkt reads 0, else red;
// - decoder lock: green when eloc reads 1, else red;
// - a read that brought no value (failed, refused, empty) leaves its lamp as
//   it was.
LampMemory LampsAfter(const LampMemory& before, const PollSample& cycle);

// The lamps of a sample: LampsAfter from the memory it was read with.
Lamps SampleLamps(const PollSample& sample);

// The lamps the rule makes grey after a cycle (bit 1 << Lamp): all three when
// no exchange answered, else those of the items it did not read.
uint8_t GreyLampsAfter(const PollSample& cycle);

// The lamp a sample column drives, or nullopt.
std::optional<Lamp> LampOfColumn(int column);
