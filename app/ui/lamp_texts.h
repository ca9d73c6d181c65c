// What the main window's four lamps say in words: the lamp's name (its caption)
// and its state for each icon, as screen readers and tool tips give it.
#pragma once
#include "link/messages.h"
#include "ui/control_ids.h"

struct LampText {
    int lampId;
    const char* name;
    const char* green;   // icon 129
    const char* red;     // icon 130
    const char* grey;    // icon 134, and any other icon
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

// The state of lamp `lampId` showing icon `iconId`, in words ("" for no lamp).
inline const char* LampStateWords(int lampId, int iconId) {
    const LampText* t = FindLampText(lampId);
    if (!t) return "";
    return iconId == kIconGreen ? t->green : iconId == kIconRed ? t->red : t->grey;
}
