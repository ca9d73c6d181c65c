// A page in memory: a map of control id -> control state, recording what was
// written to it and what was posted to it.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "params/page.h"
#include "params/param_table.h"
#include "support/recording_target.h"

namespace testsupport {

struct ControlState {
    std::string text;
    int selection = -1;
    std::vector<std::string> items;
    uint32_t ip = 0;
    bool checked = false;
    bool enabled = true;
    bool readOnly = false;
    bool shown = true;
};

// What a write through the page changed.
enum class Field { Text, Selection, Items, Ip, Checked, Enabled, ReadOnly, Shown };

class RecordingPage : public IPage {
public:
    RecordingPage() = default;
    explicit RecordingPage(std::initializer_list<int> ids) {
        for (int id : ids) controls[id];
    }
    // The controls of the three parameter tables and `extraIds`; controls it
    // lacks may still be written and read (lenient).
    static RecordingPage WholeUnit(std::initializer_list<int> extraIds);

    void AddControls(const ParamEntry* table);

    bool HasControl(int id) const override { return controls.count(id) != 0; }
    std::string GetText(int id) const override { return State(id).text; }
    void SetText(int id, const std::string& text) override { Write(id, Field::Text).text = text; }
    int GetSelection(int id) const override { return State(id).selection; }
    void Select(int id, int index) override { Write(id, Field::Selection).selection = index; }
    void AddItem(int id, const std::string& text) override { Write(id, Field::Items).items.push_back(text); }
    uint32_t GetIp(int id) const override { return State(id).ip; }
    void SetIp(int id, uint32_t address) override { Write(id, Field::Ip).ip = address; }
    bool IsChecked(int id) const override { return State(id).checked; }
    void Check(int id, bool checked) override { Write(id, Field::Checked).checked = checked; }
    void Enable(int id, bool enabled) override { Write(id, Field::Enabled).enabled = enabled; }
    void SetReadOnly(int id, bool readOnly) override { Write(id, Field::ReadOnly).readOnly = readOnly; }
    void Show(int id, bool shown) override { Write(id, Field::Shown).shown = shown; }
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override { posted.push_back({msg, wParam, lParam}); }
    void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) override {
        posted.push_back({msg, wParam, 0, row});
    }

    // A control of the page (throws std::out_of_range for one it lacks).
    ControlState& operator[](int id) { return controls.at(id); }
    // The state of control `id` once `field` has been written to it; throws
    // std::out_of_range when it never was.
    const ControlState& Written(int id, Field field) const;
    // The controls `field` was written to.
    std::set<int> WrittenIds(Field field) const;

    std::map<int, ControlState> controls;
    std::vector<Posted> posted;
    // false: touching a control the page lacks throws std::out_of_range;
    // true: such controls are kept aside (HasControl stays false for them).
    bool lenient = false;

private:
    const ControlState& State(int id) const;
    ControlState& Write(int id, Field field);

    std::map<int, ControlState> others_;
    std::map<Field, std::set<int>> written_;
};

}  // namespace testsupport
