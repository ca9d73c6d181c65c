// The unit session's windows as tavrinctl has them: pages that only hold
// their controls' contents, messages and progress on the terminal.
#pragma once
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/unit_session.h"
#include "params/page.h"

// A page with every control of the parameter tables; it keeps what the codec
// puts into them so that it can be read back.
class ConsolePage : public IPage {
public:
    ConsolePage();

    bool HasControl(int id) const override { return ids_.count(id) != 0; }
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override { controls_[id].text = text; }
    int GetSelection(int id) const override;
    void Select(int id, int index) override { controls_[id].selection = index; }
    void AddItem(int id, const std::string& text) override { controls_[id].items.push_back(text); }
    uint32_t GetIp(int id) const override;
    void SetIp(int id, uint32_t address) override { controls_[id].ip = address; }
    bool IsChecked(int id) const override;
    void Check(int id, bool checked) override { controls_[id].checked = checked; }
    void Enable(int id, bool enabled) override { controls_[id].enabled = enabled; }
    void SetReadOnly(int id, bool readOnly) override { controls_[id].readOnly = readOnly; }
    void Show(int id, bool shown) override { controls_[id].shown = shown; }
    void PostMsg(uint32_t, uintptr_t, intptr_t) override {}

private:
    struct Control {
        std::string text;
        int selection = -1;
        std::vector<std::string> items;
        uint32_t ip = 0;
        bool checked = false;
        bool enabled = true;
        bool readOnly = false;
        bool shown = true;
    };
    std::set<int> ids_;
    mutable std::map<int, Control> controls_;
};

// Errors go to standard error and mark the run failed; notices and progress
// go to standard output.
class ConsoleView : public IUnitView {
public:
    ConsoleView(FILE* out, FILE* err) : out_(out), err_(err) {}

    bool UnitConnected() const override { return true; }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void EnableActionButtons(bool) override {}
    void SelectSlotTab(int) override {}
    void SetSlotHighlight(int) override {}
    IPage* SimplePage() override { return &page_; }
    IPage* FullPage() override { return nullptr; }
    void ShowPleaseWait(const std::string& text, int progressMax) override;
    void SetPleaseWaitProgress(int position) override;
    void HidePleaseWait() override {}

    bool Failed() const { return failed_; }
    const std::vector<std::string>& Errors() const { return errors_; }

private:
    FILE* out_;
    FILE* err_;
    ConsolePage page_;
    int progressMax_ = -1;
    bool failed_ = false;
    std::vector<std::string> errors_;
};
