// What the main window's four lamps say in words: the lamp's name (its caption)
// and its state in words for each lamp state, as screen readers and tool tips give it.
#pragma once
#include "link/unit_events.h"
#include "ui/program_icon.h"
#include "ui/control_ids.h"

struct LampText {
    int lampId;
    const char* name;
    const char* green;
    const char* red;
    const char* grey;
};

inline constexpr LampText kLampTexts[] = {
    {ids::main_window::kDemodLockLamp, "Demod lock", "locked", "not locked", "unknown"},
    {ids::main_window::kReceptionLamp, "Reception", "receiving", "not receiving", "unknown"},
    {ids::main_window::kDecoderLockLamp, "Decoder lock", "locked", "not locked", "unknown"},
    {ids::main_window::kConnectionLamp, "Connection status", "connected", "not connected", "unknown"},
};

// The row of a lamp, or nullptr.
inline const LampText* FindLampText(int lampId) {
    for (const LampText& t : kLampTexts)
        if (t.lampId == lampId) return &t;
    return nullptr;
}

// The state of lamp `lampId` in words ("" for no lamp).
inline const char* LampStateWords(int lampId, LampState state) {
    const LampText* t = FindLampText(lampId);
    if (!t) return "";
    switch (state) {
    case LampState::Green: return t->green;
    case LampState::Red: return t->red;
    case LampState::Grey: break;
    }
    return t->grey;
}

// The control of a reception lamp.
inline int LampControlId(Lamp lamp) {
    switch (lamp) {
    case Lamp::DemodLock: return ids::main_window::kDemodLockLamp;
    case Lamp::Reception: return ids::main_window::kReceptionLamp;
    case Lamp::DecoderLock: return ids::main_window::kDecoderLockLamp;
    }
    return ids::main_window::kDemodLockLamp;
}
