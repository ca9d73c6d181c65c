// The constant tables that describe every unit parameter: which control shows
// it, whether it may be changed, how its reply text is decoded, and what a
// fresh value sets off (lamps, graphs, downconverter detection). Nothing in a
// row changes at run time: a unit's values live in its UnitState
// (params/unit_state.h), one slot per row.
#pragma once
#include <cstdint>
#include <string>

#include "params/control_ids.h"

enum class ParamKind : uint8_t {
    Text = 0,        // edit box; stored value is the display text
    OptionList = 1,  // combo box; stored value is the combo index
    IpAddress = 2,   // IP address control; stored value is the 32-bit address
    OptionText = 3,  // read-only edit box showing the option text at the stored index
    ModelToken = 4,  // no control; sets the unit's model flag; stored as text
    RadioPair = 5,   // two radio buttons; stored value is the reply number
};

namespace ParamFlags {
inline constexpr uint32_t FreqGhz = 0x1;          // GHz on the wire, MHz on the page
inline constexpr uint32_t TrimZeros = 0x4;        // trim leading/trailing zeros when shown
inline constexpr uint32_t HexVersion = 0x8;       // decimal reply shown as "%X"
inline constexpr uint32_t Doubled = 0x20;         // saved as twice its value (no row has it)
inline constexpr uint32_t HideIfAbsent = 0x200;   // failed read hides control and caption
inline constexpr uint32_t Lamp = 0x400;           // drives a status lamp / reception test
inline constexpr uint32_t Graphed = 0x800;        // fresh value goes to the status graphs
inline constexpr uint32_t NotSaved = 0x1000;      // never written into a configuration record
inline constexpr uint32_t LoFrequency = 0x10000;  // downconverter LO frequency
inline constexpr uint32_t LoSide = 0x20000;       // downconverter LO side
}  // namespace ParamFlags

// The placeholder for an option number the unit does not use on a row.
inline constexpr const char* kEmptyOption = "/empty/";
// GetParamIndex's answer when there is no index.
inline constexpr uint32_t kNoParamIndex = 0xFFFF;

// A row's stored value. `has` is false until the first successful read.
// Text rows use `text`; OptionList, IpAddress, OptionText and RadioPair rows
// use `number`.
struct ParamValue {
    bool has = false;
    std::string text;
    int64_t number = 0;
};

// One parameter, described: written with designated initialisers.
struct ParamEntry {
    const char* code = nullptr;            // four characters; null ends a table
    uint8_t writable = 0;                  // 1: the user may change it
    ParamKind kind = ParamKind::Text;
    int32_t controlId = 0;                 // 0 for none
    int32_t secondaryId = 0;               // RadioPair: second button; HideIfAbsent: caption
    const char* const* options = nullptr;  // null-terminated; null for non-option kinds
    uint32_t flags = 0;

    constexpr bool Has(uint32_t flag) const { return (flags & flag) != 0; }
};

inline constexpr int kDemodTableRows = 21;
inline constexpr int kDecoderTableRows = 28;
inline constexpr int kGraphListRows = 4;

// Each ended by a row whose code is null.
extern const ParamEntry NarrowbandDemodTable[kDemodTableRows + 1];
extern const ParamEntry DvbtDemodTable[kDemodTableRows + 1];
extern const ParamEntry DecoderTable[kDecoderTableRows + 1];
extern const ParamEntry SnrGraphList[kGraphListRows + 1];
extern const ParamEntry LevelGraphList[kGraphListRows + 1];
// The five tables in the order above, then null.
inline constexpr int kParamTableCount = 5;
extern const ParamEntry* const EveryParamTable[kParamTableCount + 1];
// The rows of each of EveryParamTable, its end row apart.
inline constexpr int kParamTableRows[kParamTableCount] = {kDemodTableRows, kDemodTableRows, kDecoderTableRows,
                                                          kGraphListRows, kGraphListRows};

// The caption shown beside a row's control (for example "Input frequency (MHz)"
// for 1ipf), or null for a code without one.
const char* ParamLabel(const char* code);

// First row whose code equals `code` exactly, or null.
const ParamEntry* FindParam(const ParamEntry* table, const char* code);
// DvbtDemodTable for mode 1, else NarrowbandDemodTable.
const ParamEntry* DemodTableForMode(int mode);

// Option lists: number = position in the full list, placeholders counted (as on
// the wire); combo index = position among the real options (as stored and shown).
int OptionCount(const char* const* options);
bool IsPlaceholderOption(const char* text);
// Combo index of option number n: real options before n. -1 when n is out of range.
int ComboIndexFromOptionNumber(const char* const* options, int64_t n);
// Number of the real option at combo index `index`; -1 when there is none.
int OptionNumberFromComboIndex(const char* const* options, int64_t index);
// Text of the real option at combo index `index`; null when there is none.
const char* OptionTextAtComboIndex(const char* const* options, int64_t index);

// The twelve tuning controls of the demod page that follow the input selection.
struct ModeColumnControl {
    int32_t controlId;
    int32_t controlKind;   // 1 combo box, 0 edit box
    int32_t column;        // 0 narrowband, 1 DVB-T
};
inline constexpr int kModeColumnControlCount = 12;
extern const ModeColumnControl ModeColumnControls[kModeColumnControlCount];

// The control the codec knows by id.
inline constexpr int32_t kDownconverterControlId = ids::unit_page::kDownconverter;

// The "Downconverter" list.
struct Downconverter {
    const char* text;
    bool known;       // false only for "Unknown"
    double loGhz;
    int32_t loSide;   // 0 low, 1 high
};
inline constexpr int kDownconverterCount = 13;
inline constexpr int kDownconverterUnknown = 12;
extern const Downconverter DownconverterList[kDownconverterCount];
// Index into DownconverterList for an LO frequency (MHz, compared exactly) and side.
int DetectDownconverter(double loFrequencyMhz, int loSide);
