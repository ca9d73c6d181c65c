// The configuration file (.cfg): one or more configuration records of the
// unit, followed by "///" and a 32-bit checksum. The same layout holds a single
// configuration (1 or 2 records) and a configuration set (8 or 16 records).
//
//   offset 0    u32 record count (little-endian, as every integer here)
//   offset 4    records: "DEM", u32 slot, gudm item, demod table items,
//               decoder table items, "----"
//   end - 7     "///"
//   end - 4     u32 ConfigFileCrc over every byte before it
//
// ParamItem: 4-byte code, kind byte, then by kind: Text u32 length + bytes;
// OptionList, IpAddress and RadioPair a u32 value.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/result_codes.h"

class CFerritRemoteControl;
class UnitState;

inline constexpr std::string_view kRecordStart = "DEM";
inline constexpr std::string_view kRecordEnd = "----";
inline constexpr std::string_view kFileEnd = "///";
inline constexpr uint32_t kConfigFileCrcStart = 0xFFFFFFFF;

// Item kinds as they stand in a file (the parameter kinds of the tables).
inline constexpr uint8_t kItemText = 0;
inline constexpr uint8_t kItemOptionList = 1;
inline constexpr uint8_t kItemIpAddress = 2;
inline constexpr uint8_t kItemRadioPair = 5;

// Bit-reflected-input, unreflected-register CRC with polynomial 0x04C11DB7,
// no final inversion. Empty -> 0xFFFFFFFF; "abc" -> 0xBC7DDB53.
uint32_t ConfigFileCrc(const void* data, size_t size, uint32_t crc = kConfigFileCrcStart);
inline uint32_t ConfigFileCrc(std::string_view bytes) { return ConfigFileCrc(bytes.data(), bytes.size()); }

// ---- building a file image in memory ---------------------------------------

void AppendU32(std::string& image, uint32_t value);

// Starts an image with its record count.
void BeginConfigFile(std::string& image, uint32_t recordCount);

// Appends one record of the values stored in the parameter tables: "DEM",
// slot, the gudm item with `mode`, the items of that mode's demodulator table
// (narrowband for any mode but 1), the items of the decoder table, "----".
void AppendConfigRecord(const UnitState& unit, std::string& image, int slot, int mode);

// Appends "///" and the checksum of everything before it.
void FinishConfigFile(std::string& image);

// ---- checking and reading ----------------------------------------------------

// True when the file holds a checksum and it matches the bytes before it.
// A file shorter than 4 bytes fails.
bool ConfigFileChecksumOk(std::string_view file);

// The record count at offset 0; false when the file is shorter than 4 bytes.
bool ReadRecordCount(std::string_view file, uint32_t& count);

// One item of a record as it stands in the file.
struct ParamItem {
    std::string code;       // 4 characters
    uint8_t kind = 0;
    uint32_t number = 0;    // OptionList, IpAddress, RadioPair (and unknown kinds: 0)
    std::string text;       // Text
};

// Reads a file image record by record. Every length is checked against the
// bytes that remain before the checksum; nothing is read past them.
class ConfigCursor {
public:
    // Positioned just after the record count.
    explicit ConfigCursor(std::string_view file);

    enum class Item { Param, EndOfRecord, EndOfFile, Invalid };

    // Reads the 3-byte record type; true when it is "DEM". `type` (optional)
    // receives what was read (shorter at the end of the file).
    bool ReadRecordStart(std::string* type = nullptr);
    // Reads a u32 (the slot number); false at the end of the file.
    bool ReadU32(uint32_t& value);
    // Reads the next item of the current record. EndOfRecord after "----";
    // EndOfFile when no 4 code bytes remain; Invalid for an unknown kind or a
    // body that runs past the end (the cursor then stops where the item began).
    Item NextItem(ParamItem& item);

    size_t Offset() const { return pos_; }
    size_t Limit() const { return limit_; }

private:
    std::string_view file_;
    size_t pos_ = 4;
    size_t limit_ = 0;
};

// ---- checking a whole file before anything is sent -------------------------------

enum class ConfigFileKind {
    Config,   // one configuration: 1 record ("K840") or 2
    Set,      // every slot: 8 records ("K840") or 16
};

// The verdict on a file. `message` is what the operator is told ("Invalid item
// in file", ...), `where` says which part is wrong ("record 2, item 5 (ddef):
// not a parameter that can be set"), `code` is the wrong item's code.
struct ConfigFileCheck {
    bool ok = false;
    std::string message;
    std::string where;
    std::string code;
    uint32_t recordCount = 0;

    // message, then ": " and where when there is a where.
    std::string Text() const;
};

// How a load takes a record's demod mode item (gudm): an option of 0 is
// narrowband, of 1 DVB-T; any other value, or an item that is no option, makes
// the check below refuse the file.
enum class DemodModeTaken { Narrowband, Dvbt, Refused };
DemodModeTaken TakeDemodMode(const ParamItem& item);

// Checks the whole file: checksum; record count against `kind` and
// `recordsNeeded` (what the unit model takes); every record's type, slot and
// end mark; "///" and nothing else after the last record; and every item: a
// record begins with the gudm item (mode 0 or 1), the other items are codes the
// parameter tables list as writable and saved, of the table's kind, with a
// sendable text (at most 243 bytes, no STX, ETX, ';' or NUL; a frequency a
// plain decimal number), a real option number.
// Nothing of a file that fails may be sent.
ConfigFileCheck CheckConfigFile(std::string_view file, ConfigFileKind kind, uint32_t recordsNeeded);

// The same check for a file on its own (no unit): a count of 2 or less is a
// configuration needing all its records, more is a set needing 8.
ConfigFileCheck CheckConfigFileAlone(std::string_view file);

// Outcome of applying one record to the unit.
enum class RecordApply {
    Done,           // reached "----"
    EndOfFile,      // the bytes ran out before "----"
    InvalidItem,    // an item could not be sent; nothing after it was sent
    NotTaken,       // an item's exchange failed, or the unit refused the
                    // mode; nothing after it was sent
};

// The item the unit did not take, and the result of its exchange.
struct RecordFailure {
    std::string code;
    ResultCode result = 0;
};

// Sends a write request for every item of the current record up to "----",
// holding the link's PollGate for the whole record and its LinkMutex around each exchange.
// A gudm item whose value's low byte equals `currentMode` is not sent; a gudm
// item that is sent is followed by the link's WaitForRestart (7,000 ms, then a
// new connection on Ethernet) and the unit's demodMode := its low byte. An item
// that cannot be sent (a text over 243 bytes, an unknown kind, a body past the
// end) stops the record with InvalidItem; the caller reports "Invalid item in
// file". An item whose exchange fails (no good reply), or a gudm item the unit
// refuses, stops the record with NotTaken and is named in `failure` (when
// given): a record half applied is never reported as applied. Another item
// the unit refuses ('E') is its verdict on the value; the record goes on.
RecordApply WriteRecordsFromFile(UnitState& unit, CFerritRemoteControl& link, int unitAddress, ConfigCursor& cursor,
                                 int currentMode, RecordFailure* failure = nullptr);

// The request text (STX, address, "w", code, ";", data) for one item; false
// when the item cannot be sent.
bool BuildItemRequest(int unitAddress, const ParamItem& item, std::string& request);

// ---- describing a file for people ----------------------------------------------

struct DescribedItem {
    std::string code;
    int kind = 0;
    std::string label;      // the caption the pages show beside it ("" when unknown)
    std::string value;      // as the pages would show it; a mode a load refuses as
                            // "7 (refused by a load)"
    std::string raw;        // as stored: text, or the number in decimal
};

struct DescribedRecord {
    std::string type;       // "DEM" for a configuration record
    uint32_t slot = 0;
    int64_t mode = -1;      // value of the gudm item (all of it), -1 when absent
    DemodModeTaken modeTaken = DemodModeTaken::Refused;   // a record without one is refused too
    std::vector<DescribedItem> items;
    bool complete = false;  // ended with "----"
};

struct DescribedFile {
    size_t size = 0;
    bool checksumOk = false;
    uint32_t storedCrc = 0;
    uint32_t computedCrc = 0;
    uint32_t recordCount = 0;
    bool endMarkOk = false;             // "///" right before the checksum
    std::vector<DescribedRecord> records;
    std::string error;                  // CheckConfigFileAlone's verdict, "" when valid
};

// Pure: touches neither the unit nor the parameter tables' stored values.
DescribedFile DescribeConfigFile(std::string_view file);
