// The simulated unit's own table of parameter codes: what each code holds,
// how its value looks on the wire, and which values a write may carry.
#pragma once
#include <string>

namespace sim {

// Where a code's value lives in the unit.
enum class Store {
    Config,   // part of a configuration: working copy per mode, stored in the slots
    Live,     // reception status, changes by itself
    Unit,     // fixed for the unit (versions, serial number, model, data port settings)
};

// How a value looks on the wire.
enum class Form {
    Option,    // option number (position in the full list, placeholders counted)
    Ghz,       // frequency in GHz, "%.6f"
    Integer,   // decimal digits
    Number,    // decimal number, possibly signed or with a fraction
    Text,      // free text without ';' or control bytes
    Radio,     // a number, 0 or non-zero
};

inline constexpr const char* kPlaceholder = "/empty/";

struct CodeRow {
    const char* code;
    Store store;
    Form form;
    bool writable;
    const char* const* options;       // Option: null-terminated; narrowband / only list
    const char* const* dvbtOptions;   // Option: DVB-T list when it differs, else null
};

// The row of `code` (exact 4-character match), or null.
const CodeRow* FindCode(const std::string& code);

// All rows, ended by a row whose code is null.
const CodeRow* AllCodes();

// The option list of a row for a demodulator mode (0 narrowband, 1 DVB-T).
const char* const* OptionsFor(const CodeRow& row, int mode);

// True when `wire` names a real (non-placeholder) option of the row in `mode`.
bool IsValidOption(const CodeRow& row, int mode, const std::string& wire);

// Checks a written value against the row's form and gives the form the unit
// stores and answers with (e.g. "1.7" -> "1.700000" for Ghz). False: refused.
bool NormaliseWrite(const CodeRow& row, int mode, const std::string& wire, std::string* stored);

// Factory value of a Config or Unit code for a mode and slot (1..8); "" for others.
std::string FactoryValue(const std::string& code, int mode, int slot, bool k840);

}  // namespace sim
