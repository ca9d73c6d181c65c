// Moves parameter values between the unit's reply/write text, the rows' stored
// values and the controls of a page, and turns stored values into
// configuration-file items.
//
// Every function that reads or stores values takes the unit's state.
//
// Locking: the link's LinkMutex is taken around every single exchange; a row's
// slot lock (UnitState) only while its value is read or replaced, never across
// an exchange. Callers that need several exchanges undisturbed hold the link's
// PollGate themselves (it is always taken before LinkMutex).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "link/requests.h"   // the request texts the exchanges below send
#include "link/result_codes.h"
#include "params/page.h"
#include "params/param_table.h"
#include "params/unit_state.h"

class CFerritRemoteControl;

// ---- Text conversions -----------------------------------------------------
// Leading zeros go (keeping "0." and a lone "0"); with a ".", trailing zeros go
// too, keeping one "0" after the point: "000123"->"123", "007.000"->"7.0".
std::string TrimZerosText(const std::string& text);
// Unit GHz text -> page MHz text: "%.3f" of value * 1000 ("1.75" -> "1750.000").
std::string GhzTextToMhz(const std::string& ghz);
// Page MHz text -> unit GHz text: "%.6f" of value / 1000 ("1750" -> "1.750000").
// Numbers are read and written with '.' whatever the C library's locale.
std::string MhzTextToGhz(const std::string& mhz);
// A frequency as the operator typed it (MHz): a plain decimal number, not
// negative, surrounding spaces allowed; none for "", "abc" or "1,75".
std::optional<double> OperatorFrequencyMhz(const std::string& text);
// Decimal reply -> upper-case hexadecimal ("4660" -> "1234").
std::string HexVersionText(const std::string& decimal);
// "a.b.c.d" -> (a<<24)|(b<<16)|(c<<8)|d; 0 with fewer than three dots.
uint32_t ParseIpText(const std::string& text);
std::string FormatIp(uint32_t address);
// Leading decimal number of a text, as the unit's replies are read (0 if none).
int64_t DecimalValue(const std::string& text);

// ---- Frames -----------------------------------------------------------------
// A reply with status 'E' is the unit refusing; the exchanges below return it
// as kUnitRefused.
inline constexpr ResultCode kUnitRefused = 0x80000010;
// The link's Exchange under its LinkMutex (log level 1). On success (result 0 and
// status '1') `reply` holds the data text.
ResultCode ExchangeLocked(CFerritRemoteControl& link, const std::string& request, std::string* reply);
// Reads one parameter (ExchangeLocked of its read request). A '1' reply with
// an empty data field carries no value and is kUnitRefused, like an 'E' reply.
ResultCode ReadValueLocked(CFerritRemoteControl& link, int unitAddress, const char* code, std::string& reply);

// ---- Codec operations ---------------------------------------------------------
// Decodes one reply into the row's stored value; for Text rows `reply` is
// rewritten to the formatted text. An empty reply is no value: nothing changes.
void StoreReplyValue(UnitState& unit, std::string& reply, const ParamEntry& row);

// Enables or write-protects the table's controls and fills the option combos.
void SetupPageControls(IPage& page, const ParamEntry* table);

// How far a read of the tables goes when a row is not answered: on with
// the next row (what the pages show stays as fresh as the unit allows), or
// no further, for a caller that fails on the first unanswered row anyway (a
// unit that stopped answering would otherwise cost one time-out per row).
enum class RowReading { Every, UntilUnanswered };

// Reads every row from the unit, stores it and shows it on `page` (and on
// `secondPage` when given); lamps and graph samples are posted to `page`.
// Returns the number of rows the unit did not answer, rows that may be absent
// (HideIfAbsent) apart. Three rows in a row without any reply end the read:
// the unit is taken as gone, and the rows after them count as unanswered. With `keepEdits`, a control the operator changed and
// has not sent (it differs from the row's stored value, as Apply would see
// it) keeps its content: the row stores the unit's value, so that Apply still
// writes the operator's.
int ReadTableToPage(UnitState& unit, CFerritRemoteControl& link, IPage& page, const ParamEntry* table, int unitAddress,
                    IPage* secondPage, bool keepEdits = false, RowReading reading = RowReading::Every);

// Shows the row's stored value (read under its lock); nothing when it has none.
void ShowStoredValue(const UnitState& unit, const ParamEntry& row, IPage& page, IPage* secondPage);
// The unit is gone: the rows of `table` hold no value any more, and their
// controls on the pages (either may be null) show none.
void ForgetTableValues(UnitState& unit, const ParamEntry* table, IPage* page, IPage* secondPage);

// Operator text that must not be sent: a frequency that is not a number and
// text holding STX, ETX, ';' or NUL.
inline constexpr const char* kInvalidFrequencyMessage = "Invalid frequency value";
inline constexpr const char* kInvalidTextMessage = "Invalid characters in text field";
inline constexpr const char* kInvalidIpMessage = "Invalid IP address entered";
// What a page sends for the text typed into a Text row's control: the text
// for the write request, or the message that refuses it (a frequency that is
// not a number, kInvalidFrequencyMessage; bytes a request cannot carry,
// kInvalidTextMessage). A frequency is typed in MHz and sent in GHz.
struct TypedInput {
    bool refused = false;
    std::string text;   // the request's data, or the message
};
TypedInput TextRowInput(const ParamEntry& row, const std::string& typed);

// The message for the first changed row of the tables on `page` whose text is
// refused (above); empty when every changed row can be written. Pages check
// all the tables they write with it before they write anything.
std::string RefusedPageInput(const UnitState& unit, const IPage& page,
                             std::initializer_list<const ParamEntry*> tables);

// Writes every writable row whose control differs from its stored value, then
// the downconverter choice (kDownconverterControlId, its LO side and LO frequency count as
// one). Returns the number of writes sent (0 to 255); callers re-read the table
// when it is not 0. A write the link refuses to frame (too long) is not counted;
// a row whose text is refused (RefusedPageInput) is skipped, never sent.
int WriteChangedFromPage(const UnitState& unit, CFerritRemoteControl& link, IPage& page, const ParamEntry* table,
                         int unitAddress);

// Appends one configuration item per saved row (writable, has a value, not
// NotSaved): 4-byte code, kind byte, body (little-endian).
void SerializeTable(const UnitState& unit, const ParamEntry* table, std::string& out);
