#include "params/lamps.h"

#include "params/param_table.h"
#include "params/poll_sample.h"
#include "platform/numbers.h"

namespace {

struct LampRow {
    Lamp lamp;
    SampleColumn column;   // the read that sets it
    LampState Lamps::*state;
};
constexpr LampRow kLampRows[] = {
    {Lamp::DemodLock, kColDemodLock, &Lamps::demodLock},
    {Lamp::Reception, kColPacketErrors, &Lamps::reception},
    {Lamp::DecoderLock, kColDecoderLock, &Lamps::decoderLock},
};

LampState Colour(bool green) { return green ? LampState::Green : LampState::Red; }

bool ItemRead(const PollSample& cycle, PollItem item) { return (cycle.itemsRead & (1u << item)) != 0; }

}  // namespace

LampMemory LampsAfter(const LampMemory& before, const PollSample& cycle) {
    LampMemory after = before;
    const uint8_t grey = GreyLampsAfter(cycle);
    for (const LampRow& row : kLampRows)
        if ((grey & (1u << int(row.lamp))) != 0) after.shown.*row.state = LampState::Grey;
    if (!cycle.connected) return after;
    const std::string& lock = cycle.values[kColDemodLock];
    const std::string& errors = cycle.values[kColPacketErrors];
    const std::string& decoder = cycle.values[kColDecoderLock];
    if (ItemRead(cycle, PollItemDemodLock)) {
        if (!lock.empty()) {
            after.lockValue = LeadingInteger(lock);
            after.shown.demodLock = Colour(after.lockValue == 1);
        }
        if (!errors.empty()) after.shown.reception = Colour(after.lockValue == 1 && LeadingInteger(errors) == 0);
    }
    if (ItemRead(cycle, PollItemDecoderLock) && !decoder.empty())
        after.shown.decoderLock = Colour(LeadingInteger(decoder) == 1);
    return after;
}

Lamps SampleLamps(const PollSample& sample) { return LampsAfter(sample.lampsBefore, sample).shown; }

uint8_t GreyLampsAfter(const PollSample& cycle) {
    constexpr auto bit = [](Lamp lamp) { return uint8_t(1u << int(lamp)); };
    if (!cycle.connected) return bit(Lamp::DemodLock) | bit(Lamp::Reception) | bit(Lamp::DecoderLock);
    uint8_t grey = 0;
    if (!ItemRead(cycle, PollItemDemodLock)) grey |= bit(Lamp::DemodLock) | bit(Lamp::Reception);
    if (!ItemRead(cycle, PollItemDecoderLock)) grey |= bit(Lamp::DecoderLock);
    return grey;
}

std::optional<Lamp> LampOfColumn(int column) {
    for (const LampRow& row : kLampRows)
        if (row.column == column) return row.lamp;
    return std::nullopt;
}

LampState Lamps::Of(Lamp lamp) const {
    for (const LampRow& row : kLampRows)
        if (row.lamp == lamp) return this->*row.state;
    return LampState::Grey;
}
