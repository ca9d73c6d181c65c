#include "support/recording_page.h"

#include <stdexcept>
#include <string>

namespace testsupport {

RecordingPage RecordingPage::WholeUnit(std::initializer_list<int> extraIds) {
    RecordingPage page;
    page.AddUnitControls();
    for (int id : extraIds) page.controls[id];
    page.lenient = true;
    return page;
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

// Strict unless lenient: a control the page lacks throws std::out_of_range.
const ControlState& RecordingPage::State(int id) const {
    if (!lenient) return controls.at(id);
    return CMemoryPage::State(id);
}

ControlState& RecordingPage::Write(int id, Field field) {
    ControlState& state = lenient ? CMemoryPage::Write(id, field) : controls.at(id);
    written_[field].insert(id);
    return state;
}

}  // namespace testsupport
