// A unit's values, one slot per table row.
#include "params/unit_state.h"

#include <functional>
#include <utility>

namespace {

// The table of EveryParamTable `row` belongs to and its index there; -1 for none.
int TableOf(const ParamEntry& row, size_t& index) {
    for (int t = 0; t < kParamTableCount; ++t) {
        const ParamEntry* table = EveryParamTable[t];
        // Addresses of different arrays compared with std::less, which orders them all.
        const std::less<const ParamEntry*> before;
        if (!before(&row, table) && before(&row, table + kParamTableRows[t])) {
            index = static_cast<size_t>(&row - table);
            return t;
        }
    }
    return -1;
}

}  // namespace

ValueSlot& UnitState::Slot(const ParamEntry& row) { return const_cast<ValueSlot&>(std::as_const(*this).Slot(row)); }

const ValueSlot& UnitState::Slot(const ParamEntry& row) const {
    size_t index = 0;
    switch (TableOf(row, index)) {
    case 0: return narrowband_[index];
    case 1: return dvbt_[index];
    case 2: return decoder_[index];
    case 3: return snr_[index];
    case 4: return level_[index];
    default: break;
    }
    std::lock_guard<std::mutex> guard(otherLock_);
    return other_[&row];   // nodes never move: the reference stays good
}

const ParamEntry* LiveDemodTable(const UnitState& unit) { return DemodTableForMode(unit.demodMode.load()); }

ParamValue ReadParamValue(const UnitState& unit, const ParamEntry& row) {
    const ValueSlot& slot = unit.Slot(row);
    std::lock_guard<std::mutex> guard(slot.lock);
    return slot.value;
}

void StoreParamValue(UnitState& unit, const ParamEntry& row, const ParamValue& value) {
    ValueSlot& slot = unit.Slot(row);
    std::lock_guard<std::mutex> guard(slot.lock);
    slot.value = value;
}

void ForgetEveryValue(UnitState& unit) {
    for (const ParamEntry* const* table = EveryParamTable; *table != nullptr; ++table)
        for (const ParamEntry* row = *table; row->code != nullptr; ++row) StoreParamValue(unit, *row, ParamValue{});
}

uint32_t GetParamIndex(const UnitState& unit, const ParamEntry* table, const char* code) {
    const ParamEntry* row = FindParam(table, code);
    if (row == nullptr) return kNoParamIndex;
    if (row->kind != ParamKind::OptionList && row->kind != ParamKind::OptionText) return kNoParamIndex;
    const ParamValue value = ReadParamValue(unit, *row);
    if (!value.has) return kNoParamIndex;
    return static_cast<uint32_t>(value.number);
}
