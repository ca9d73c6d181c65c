#include "support/recording_page.h"

#include <stdexcept>
#include <string>

namespace testsupport {

RecordingPage RecordingPage::WholeUnit(std::initializer_list<int> extraIds) {
    RecordingPage page;
    for (const ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable}) page.AddControls(table);
    for (int id : extraIds) page.controls[id];
    page.lenient = true;
    return page;
}

void RecordingPage::AddControls(const ParamEntry* table) {
    for (const ParamEntry* row = table; row->code != nullptr; ++row) {
        if (row->controlId != 0) controls[row->controlId];
        if (row->secondaryId != 0) controls[row->secondaryId];
    }
}

const ControlState& RecordingPage::Written(int id, Field field) const {
    auto it = written_.find(field);
    if (it == written_.end() || it->second.count(id) == 0)
        throw std::out_of_range("control " + std::to_string(id) + " was never given that field");
    return State(id);
}

std::set<int> RecordingPage::WrittenIds(Field field) const {
    auto it = written_.find(field);
    return it == written_.end() ? std::set<int>() : it->second;
}

const ControlState& RecordingPage::State(int id) const {
    auto it = controls.find(id);
    if (it != controls.end() || !lenient) return controls.at(id);
    static const ControlState kUntouched;
    auto other = others_.find(id);
    return other == others_.end() ? kUntouched : other->second;
}

ControlState& RecordingPage::Write(int id, Field field) {
    ControlState& state = controls.count(id) != 0 || !lenient ? controls.at(id) : others_[id];
    written_[field].insert(id);
    return state;
}

}  // namespace testsupport
