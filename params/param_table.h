// The static tables that describe every unit parameter: which control shows
// it, whether it may be changed, how its reply text is decoded, and what a
// fresh value sets off (lamps, graphs, downconverter detection). Only each
// row's stored value changes at run time, always under the row's own lock.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

enum class ParamKind : uint8_t {
    Text = 0,        // edit box; stored value is the display text
    OptionList = 1,  // combo box; stored value is the combo index
    IpAddress = 2,   // IP address control; stored value is the 32-bit address
    OptionText = 3,  // read-only edit box showing the option text at the stored index
    ModelToken = 4,  // no control; sets UnitModelFlag, stores nothing
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

struct ParamEntry {
    constexpr ParamEntry(const char* code_, uint8_t writable_, ParamKind kind_, int32_t controlId_,
               int32_t secondaryId_, const char* const* options_, uint32_t flags_)
        : code(code_), writable(writable_), kind(kind_), controlId(controlId_),
          secondaryId(secondaryId_), options(options_), flags(flags_) {}
    ParamEntry(const ParamEntry&) = delete;
    ParamEntry& operator=(const ParamEntry&) = delete;

    const char* code;             // four characters; null ends a table
    uint8_t writable;             // 1: the user may change it
    ParamKind kind;
    int32_t controlId;            // 0 for none
    int32_t secondaryId;          // RadioPair: second button; HideIfAbsent: caption
    const char* const* options;   // null-terminated; null for non-option kinds
    ParamValue value;             // guarded by lock
    uint32_t flags;
    mutable std::mutex lock;      // held only while value is read or replaced

    bool Has(uint32_t flag) const { return (flags & flag) != 0; }
};

inline constexpr int kDemodTableRows = 21;
inline constexpr int kDecoderTableRows = 28;
inline constexpr int kGraphListRows = 4;

// Each ended by a row whose code is null.
extern ParamEntry NarrowbandDemodTable[kDemodTableRows + 1];
extern ParamEntry DvbtDemodTable[kDemodTableRows + 1];
extern ParamEntry DecoderTable[kDecoderTableRows + 1];
extern ParamEntry SnrGraphList[kGraphListRows + 1];
extern ParamEntry LevelGraphList[kGraphListRows + 1];
// The five tables in the order above, then null.
extern ParamEntry* const AllParamTables[6];

// The caption shown beside a row's control (for example "Input frequency (MHz)"
// for 1ipf), or null for a code without one.
const char* ParamLabel(const char* code);

// First row whose code equals `code` exactly, or null.
ParamEntry* FindParam(ParamEntry* table, const char* code);
// The stored combo index of an OptionList/OptionText row that has a value,
// else kNoParamIndex. Takes and releases the row's lock.
uint32_t GetParamIndex(ParamEntry* table, const char* code);

// A copy of the row's value, taken under its lock.
ParamValue ReadParamValue(const ParamEntry& row);
// Replaces the row's value under its lock.
void StoreParamValue(ParamEntry& row, const ParamValue& value);
// Forgets every stored value of every table (each row under its lock).
void ResetAllParamValues();

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

// Controls and lamps the codec and the poll thread know by id.
inline constexpr int32_t kDownconverterControlId = 1115;
inline constexpr int32_t kLampDemodLock = 1013;
inline constexpr int32_t kLampReception = 1014;
inline constexpr int32_t kLampDecoderLock = 1015;

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
