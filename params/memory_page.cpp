#include "params/memory_page.h"

#include "params/param_table.h"

void CMemoryPage::AddControls(const ParamEntry* table) {
    for (const ParamEntry* row = table; row->code != nullptr; ++row) {
        if (row->controlId != 0) controls[row->controlId];
        if (row->secondaryId != 0) controls[row->secondaryId];
    }
}

void CMemoryPage::AddUnitControls() {
    for (const ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable}) AddControls(table);
}

const ControlState& CMemoryPage::State(int id) const {
    if (auto it = controls.find(id); it != controls.end()) return it->second;
    static const ControlState kUntouched;
    auto other = others_.find(id);
    return other == others_.end() ? kUntouched : other->second;
}

ControlState& CMemoryPage::Write(int id, PageField) {
    if (auto it = controls.find(id); it != controls.end()) return it->second;
    return others_[id];
}
