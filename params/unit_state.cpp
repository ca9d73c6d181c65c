// A unit's values, one slot per table row.
#include "params/unit_state.h"

#include <cstdlib>

namespace {

// The slot array of the table `row` belongs to, and the row's index in it.
template <typename Slots>
Slots* SlotsOf(const ParamEntry& row, Slots* const (&slots)[kParamTableCount], size_t& index) {
    for (int t = 0; t < kParamTableCount; ++t) {
        const ParamEntry* table = AllParamTables[t];
        if (&row >= table && &row < table + kParamTableRows[t]) {
            index = static_cast<size_t>(&row - table);
            return slots[t];
        }
    }
    std::abort();   // not a table row
}

}  // namespace

ValueSlot& UnitState::Slot(const ParamEntry& row) {
    ValueSlot* const slots[kParamTableCount] = {narrowband_.data(), dvbt_.data(), decoder_.data(), snr_.data(),
                                                level_.data()};
    size_t index = 0;
    return SlotsOf(row, slots, index)[index];
}

const ValueSlot& UnitState::Slot(const ParamEntry& row) const {
    const ValueSlot* const slots[kParamTableCount] = {narrowband_.data(), dvbt_.data(), decoder_.data(),
                                                      snr_.data(), level_.data()};
    size_t index = 0;
    return SlotsOf(row, slots, index)[index];
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

void ResetAllParamValues(UnitState& unit) {
    for (const ParamEntry* const* table = AllParamTables; *table != nullptr; ++table)
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
