// Values in the pages' form: what a page's control shows for a value the unit
// sent (MHz where the unit has GHz, option texts where it has numbers), the
// unit a page's caption names, and what a page sends for a value typed in
// that form, checked as the page checks it.
#pragma once
#include <string>

#include "params/codec.h"
#include "params/param_table.h"

// The two input selection buttons and what each writes to gmod.
inline constexpr const char* kRfInputText = "RF input";
inline constexpr const char* kChainingInputText = "Chaining input";
inline constexpr int kRfInputMode = 0;
inline constexpr int kChainingInputMode = 8;
// gmod's reply as the buttons show it: 0 the RF input, anything else the chaining input.
inline const char* InputSelectionText(int64_t reply) { return reply != 0 ? kChainingInputText : kRfInputText; }

// The row of `code` a page shows: the decoder page's, else the demodulator
// page's for `mode` (0 narrowband, 1 DVB-T); null when no page shows it.
const ParamEntry* PageRow(const std::string& code, int mode);
// Whether the demodulator pages of the two modes show `code` differently
// (other option lists), so that its page form needs the unit's mode.
bool PageFormNeedsMode(const std::string& code);

// The unit a row's caption names: "MHz" for "Input frequency (MHz)"; "" when
// it names none.
std::string PageUnit(const char* code);

// The row's value stored in `unit` as its control shows it ("" when it has none);
// `reply` is the unit's text, shown as it is by rows without a control.
std::string ShownPageValue(const UnitState& unit, const ParamEntry& row, const std::string& reply);

// A value typed in the page's form for `row`: the data of the write request,
// or the message that refuses it, the page's own where the page has one.
TypedInput PageFormInput(const ParamEntry& row, const std::string& typed);

// Whether a code's value is a text even when it looks like a number: a name,
// a version or a serial number, where "007" is not 7.
bool IsTextValue(const std::string& code);
