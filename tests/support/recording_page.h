// The memory page of the core, recording what was written to it and what was
// posted to it, and strict about controls it lacks unless told otherwise.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "params/memory_page.h"
#include "params/param_table.h"
#include "support/recording_target.h"

namespace testsupport {

using ::ControlState;
// What a write through the page changed.
using Field = PageField;

class RecordingPage : public CMemoryPage {
public:
    RecordingPage() = default;
    explicit RecordingPage(std::initializer_list<int> ids) {
        for (int id : ids) controls[id];
    }
    // The controls of the three parameter tables and `extraIds`; controls it
    // lacks may still be written and read (lenient).
    static RecordingPage WholeUnit(std::initializer_list<int> extraIds);

    void LampChanged(Lamp lamp, LampState state) override {
        posted.push_back({.ev = Ev::Lamp, .lamp = lamp, .state = state});
    }
    void GraphSample(const ParamEntry& row) override { posted.push_back({.ev = Ev::Graph, .row = &row}); }

    // A control of the page (throws std::out_of_range for one it lacks).
    ControlState& operator[](int id) { return controls.at(id); }
    // The state of control `id` once `field` has been written to it; throws
    // std::out_of_range when it never was.
    const ControlState& Written(int id, Field field) const;
    // The controls `field` was written to.
    std::set<int> WrittenIds(Field field) const;

    std::vector<Posted> posted;
    // false: touching a control the page lacks throws std::out_of_range;
    // true: such controls are kept aside (HasControl stays false for them).
    bool lenient = false;

protected:
    const ControlState& State(int id) const override;
    ControlState& Write(int id, Field field) override;

private:
    std::map<Field, std::set<int>> written_;
};

}  // namespace testsupport
