// A page in memory: the state of each control kept in a map, so that what the
// codec puts into a page can be read back without a window (the command-line
// tool's page, and the base of the tests' recording page).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "params/page.h"

struct ParamEntry;

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

// Which part of a control a write through the page changed.
enum class PageField { Text, Selection, Items, Ip, Checked, Enabled, ReadOnly, Shown };

class CMemoryPage : public IPage {
public:
    // Adds the controls (and secondary controls) of a parameter table.
    void AddControls(const ParamEntry* table);
    // Adds the controls of the three parameter tables.
    void AddUnitControls();

    bool HasControl(int id) const override { return controls.count(id) != 0; }
    std::string GetText(int id) const override { return State(id).text; }
    void SetText(int id, const std::string& text) override { Write(id, PageField::Text).text = text; }
    int GetSelection(int id) const override { return State(id).selection; }
    void Select(int id, int index) override { Write(id, PageField::Selection).selection = index; }
    void AddItem(int id, const std::string& text) override { Write(id, PageField::Items).items.push_back(text); }
    uint32_t GetIp(int id) const override { return State(id).ip; }
    void SetIp(int id, uint32_t address) override { Write(id, PageField::Ip).ip = address; }
    bool IsChecked(int id) const override { return State(id).checked; }
    void Check(int id, bool checked) override { Write(id, PageField::Checked).checked = checked; }
    void Enable(int id, bool enabled) override { Write(id, PageField::Enabled).enabled = enabled; }
    void SetReadOnly(int id, bool readOnly) override { Write(id, PageField::ReadOnly).readOnly = readOnly; }
    void Show(int id, bool shown) override { Write(id, PageField::Shown).shown = shown; }

    // The page's controls.
    std::map<int, ControlState> controls;

protected:
    // A control the page lacks may still be written and read back; it is kept
    // aside and HasControl stays false for it. A control never written reads
    // as untouched.
    virtual const ControlState& State(int id) const;
    virtual ControlState& Write(int id, PageField field);

    std::map<int, ControlState> others_;
};
