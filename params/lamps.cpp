#include "params/lamps.h"

#include "params/param_table.h"
#include "params/poll_sample.h"
#include "platform/numbers.h"

namespace {

struct LampRow {
    int32_t lampId;
    SampleColumn column;   // the read that sets it
    int Lamps::*icon;
};
constexpr LampRow kLampRows[] = {
    {kLampDemodLock, kColDemodLock, &Lamps::demodLock},
    {kLampReception, kColPacketErrors, &Lamps::reception},
    {kLampDecoderLock, kColDecoderLock, &Lamps::decoderLock},
};

int Icon(bool green) { return green ? kIconGreen : kIconRed; }

bool ItemRead(const PollSample& cycle, PollItem item) { return (cycle.itemsRead & (1u << item)) != 0; }

}  // namespace

LampMemory LampsAfter(const LampMemory& before, const PollSample& cycle) {
    LampMemory after = before;
    if (!cycle.connected) {
        after.shown = Lamps{};
        return after;
    }
    const std::string& lock = cycle.values[kColDemodLock];
    const std::string& errors = cycle.values[kColPacketErrors];
    const std::string& decoder = cycle.values[kColDecoderLock];
    if (!ItemRead(cycle, PollItemDemodLock)) {
        after.shown.demodLock = kIconGrey;
        after.shown.reception = kIconGrey;
    } else {
        if (!lock.empty()) {
            after.lockValue = LeadingInteger(lock);
            after.shown.demodLock = Icon(after.lockValue == 1);
        }
        if (!errors.empty()) after.shown.reception = Icon(after.lockValue == 1 && LeadingInteger(errors) == 0);
    }
    if (!ItemRead(cycle, PollItemDecoderLock)) {
        after.shown.decoderLock = kIconGrey;
    } else if (!decoder.empty()) {
        after.shown.decoderLock = Icon(LeadingInteger(decoder) == 1);
    }
    return after;
}

Lamps SampleLamps(const PollSample& sample) { return LampsAfter(sample.lampsBefore, sample).shown; }

int32_t LampOfColumn(int column) {
    for (const LampRow& row : kLampRows)
        if (row.column == column) return row.lampId;
    return 0;
}

int LampIcon(const Lamps& lamps, int32_t lampId) {
    for (const LampRow& row : kLampRows)
        if (row.lampId == lampId) return lamps.*row.icon;
    return kIconGrey;
}
