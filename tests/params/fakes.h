// Plain stand-ins for a page and a window, and a clean slate for the globals.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "link/messages.h"
#include "params/codec.h"
#include "params/page.h"
#include "params/param_table.h"

namespace testing_params {

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

struct Posted {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    const ParamEntry* row = nullptr;   // the row of a row message
};

// A page that is a map of control id -> control state.
class FakePage : public IPage {
public:
    FakePage() = default;
    explicit FakePage(std::initializer_list<int> ids) {
        for (int id : ids) controls[id];
    }
    void AddControls(const ParamEntry* table) {
        for (const ParamEntry* row = table; row->code != nullptr; ++row) {
            if (row->controlId != 0) controls[row->controlId];
            if (row->secondaryId != 0) controls[row->secondaryId];
        }
    }

    bool HasControl(int id) const override { return controls.count(id) != 0; }
    std::string GetText(int id) const override { return controls.at(id).text; }
    void SetText(int id, const std::string& text) override { controls.at(id).text = text; }
    int GetSelection(int id) const override { return controls.at(id).selection; }
    void Select(int id, int index) override { controls.at(id).selection = index; }
    void AddItem(int id, const std::string& text) override { controls.at(id).items.push_back(text); }
    uint32_t GetIp(int id) const override { return controls.at(id).ip; }
    void SetIp(int id, uint32_t address) override { controls.at(id).ip = address; }
    bool IsChecked(int id) const override { return controls.at(id).checked; }
    void Check(int id, bool checked) override { controls.at(id).checked = checked; }
    void Enable(int id, bool enabled) override { controls.at(id).enabled = enabled; }
    void SetReadOnly(int id, bool readOnly) override { controls.at(id).readOnly = readOnly; }
    void Show(int id, bool shown) override { controls.at(id).shown = shown; }
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        posted.push_back({msg, wParam, lParam});
    }
    void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) override {
        posted.push_back({msg, wParam, 0, row});
    }

    ControlState& operator[](int id) { return controls.at(id); }

    std::map<int, ControlState> controls;
    std::vector<Posted> posted;
};

// A window that records what is posted to it, from any thread.
class RecordingTarget : public IMessageTarget {
public:
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override { Record({msg, wParam, lParam}); }
    void PostRowMsg(uint32_t msg, uintptr_t wParam, const ParamEntry* row) override {
        Record({msg, wParam, 0, row});
    }
    void Record(const Posted& p) {
        std::lock_guard<std::mutex> lock(mutex);
        posted.push_back(p);
        if (onPost) onPost(p);
    }
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
        PostMsg(msg, wParam, lParam);
        return 0;
    }
    std::vector<Posted> Messages() {
        std::lock_guard<std::mutex> lock(mutex);
        return posted;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex);
        posted.clear();
    }
    std::mutex mutex;
    std::vector<Posted> posted;
    std::function<void(const Posted&)> onPost;
};

// Waits (bounded, generous) until `condition` holds; returns whether it did.
template <typename Condition>
bool WaitUntil(Condition condition) {
    for (int i = 0; i < 3000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

inline void ResetCodecState() {
    ResetAllParamValues();
    CurrentDemodMode = -1;
    UnitModelFlag = 0;
    LoSideValue = 0;
    LoFrequencyMhz = 0.0;
    DownconverterIndex = 0;
}

inline std::string StoredText(ParamEntry* table, const char* code) {
    return ReadParamValue(*FindParam(table, code)).text;
}
inline int64_t StoredNumber(ParamEntry* table, const char* code) {
    return ReadParamValue(*FindParam(table, code)).number;
}
inline bool HasStored(ParamEntry* table, const char* code) {
    return ReadParamValue(*FindParam(table, code)).has;
}

}  // namespace testing_params
