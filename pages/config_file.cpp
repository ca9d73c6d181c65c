// The configuration file format: building, checking, reading and applying
// records, and describing a file for people.
#include "pages/config_file.h"

#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "pages/page_form.h"
#include "params/codec.h"
#include "params/param_table.h"

namespace {

constexpr uint32_t kCrcPolynomial = 0x04C11DB7;
constexpr char kGudm[] = "gudm";

uint32_t LoadU32(std::string_view bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

}  // namespace

namespace {

// The checksum is kept bit-reversed while the bytes go in: the byte's bits
// enter least significant first, which in the reversed register is the low
// byte, so a byte takes one step of one table. The table holds, for every low
// byte, the reversed remainder of the polynomial (most significant bit first)
// of that byte reversed. The register is reversed on the way in and out.
struct CrcTables {
    uint8_t reversed[256];
    uint32_t step[256];
};

constexpr uint32_t Reverse32(const uint8_t (&reversed)[256], uint32_t v) {
    return uint32_t(reversed[v & 0xFF]) << 24 | uint32_t(reversed[(v >> 8) & 0xFF]) << 16 |
           uint32_t(reversed[(v >> 16) & 0xFF]) << 8 | reversed[v >> 24];
}

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t r = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (i & (1u << bit)) r = static_cast<uint8_t>(r | (0x80u >> bit));
        t.reversed[i] = r;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = uint32_t(t.reversed[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ kCrcPolynomial : crc << 1;
        t.step[i] = Reverse32(t.reversed, crc);
    }
    return t;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

}  // namespace

uint32_t ConfigFileCrc(const void* data, size_t size, uint32_t crc) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint32_t reversed = Reverse32(kCrcTables.reversed, crc);
    for (size_t i = 0; i < size; ++i) reversed = (reversed >> 8) ^ kCrcTables.step[(reversed ^ bytes[i]) & 0xFF];
    return Reverse32(kCrcTables.reversed, reversed);
}

// ---- building -------------------------------------------------------------------

void AppendU32(std::string& image, uint32_t value) {
    for (int i = 0; i < 4; ++i) image.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void BeginConfigFile(std::string& image, uint32_t recordCount) {
    image.clear();
    AppendU32(image, recordCount);
}

void AppendConfigRecord(const UnitState& unit, std::string& image, int slot, int mode) {
    image.append(kRecordStart);
    AppendU32(image, static_cast<uint32_t>(slot));
    image.append(kGudm, 4);
    image.push_back(static_cast<char>(kItemOptionList));
    AppendU32(image, static_cast<uint32_t>(mode));
    SerializeTable(unit, DemodTableForMode(mode), image);
    SerializeTable(unit, DecoderTable, image);
    image.append(kRecordEnd);
}

void FinishConfigFile(std::string& image) {
    image.append(kFileEnd);
    AppendU32(image, ConfigFileCrc(image));
}

// ---- checking and reading ----------------------------------------------------------

bool ConfigFileChecksumOk(std::string_view file) {
    if (file.size() < 4) return false;
    const size_t body = file.size() - 4;
    return ConfigFileCrc(file.substr(0, body)) == LoadU32(file, body);
}

bool ReadRecordCount(std::string_view file, uint32_t& count) {
    if (file.size() < 4) return false;
    count = LoadU32(file, 0);
    return true;
}

ConfigCursor::ConfigCursor(std::string_view file)
    : file_(file), pos_(4), limit_(file.size() >= 4 ? file.size() - 4 : 0) {
    if (pos_ > limit_) pos_ = limit_;
}

bool ConfigCursor::ReadRecordStart(std::string* type) {
    const size_t n = std::min<size_t>(kRecordStart.size(), limit_ - pos_);
    const std::string_view got = file_.substr(pos_, n);
    if (type) type->assign(got);
    pos_ += n;
    return got == kRecordStart;
}

bool ConfigCursor::ReadU32(uint32_t& value) {
    if (limit_ - pos_ < 4) return false;
    value = LoadU32(file_, pos_);
    pos_ += 4;
    return true;
}

ConfigCursor::Item ConfigCursor::NextItem(ParamItem& item) {
    if (limit_ - pos_ < 4) return Item::EndOfFile;
    const size_t start = pos_;
    const std::string_view code = file_.substr(pos_, 4);
    if (code == kRecordEnd) {
        pos_ += 4;
        return Item::EndOfRecord;
    }
    // Code and kind byte, then a 4-byte length or value for every known kind.
    if (limit_ - pos_ < 9) return Item::Invalid;
    item = ParamItem{};
    item.code.assign(code);
    item.kind = static_cast<uint8_t>(file_[pos_ + 4]);
    const uint32_t word = LoadU32(file_, pos_ + 5);
    size_t next = pos_ + 9;
    switch (item.kind) {
    case kItemText:
        if (word > limit_ - next) {
            pos_ = start;
            return Item::Invalid;
        }
        item.text.assign(file_.substr(next, word));
        next += word;
        break;
    case kItemOptionList:
    case kItemIpAddress:
    case kItemRadioPair:
        item.number = word;
        break;
    default:
        pos_ = start;
        return Item::Invalid;
    }
    pos_ = next;
    return Item::Param;
}

// ---- applying a record ----------------------------------------------------------

bool BuildItemRequest(int unitAddress, const ParamItem& item, std::string& request) {
    if (item.code.size() != 4) return false;
    for (char c : item.code)
        if (UnsafeRequestByte(c)) return false;
    std::string data;
    switch (item.kind) {
    case kItemText:
        if (item.text.size() > 243) return false;
        for (char c : item.text)
            if (UnsafeRequestByte(c)) return false;
        data = item.text;
        break;
    case kItemOptionList:
    case kItemRadioPair:
        data = std::to_string(item.number & 0xFF);
        break;
    case kItemIpAddress:
        data = FormatIp(item.number);
        break;
    default:
        return false;
    }
    request = BuildWriteRequest(unitAddress, item.code, data);
    // Everything after the STX must fit in one frame.
    return request.size() - 1 <= kMaxRequestText;
}

// ---- checking a whole file -----------------------------------------------------

DemodModeTaken TakeDemodMode(const ParamItem& item) {
    if (item.kind != kItemOptionList || item.number > 1) return DemodModeTaken::Refused;
    return item.number == 1 ? DemodModeTaken::Dvbt : DemodModeTaken::Narrowband;
}

namespace {

constexpr size_t kMaxItemText = 243;

// Digits with at most one '.', at least one digit: a frequency the unit takes.
bool IsPlainDecimal(const std::string& text) {
    bool digit = false, point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

bool IsSavedKind(ParamKind kind) {
    return kind == ParamKind::Text || kind == ParamKind::OptionList || kind == ParamKind::IpAddress ||
           kind == ParamKind::RadioPair;
}

// Why `item` may not be sent as item `index` (0-based) of a record whose demod
// table is `demod`; "" when it may.
std::string ItemFault(const ParamItem& item, size_t index, const ParamEntry* demod) {
    if (item.code == kGudm) {
        if (index != 0) return "the demod mode item out of place";
        if (TakeDemodMode(item) != DemodModeTaken::Refused) return "";
        if (item.kind != kItemOptionList) return "the demod mode item is not an option";
        return "demod mode " + std::to_string(item.number) + " is not 0 or 1";
    }
    if (index == 0) return "the record does not begin with the demod mode item (gudm)";
    const ParamEntry* row = FindParam(demod, item.code.c_str());
    if (!row) row = FindParam(DecoderTable, item.code.c_str());
    if (!row || !row->writable || row->Has(ParamFlags::NotSaved) || !IsSavedKind(row->kind))
        return "not a parameter that can be set from a file";
    if (item.kind != static_cast<uint8_t>(row->kind))
        return "kind " + std::to_string(item.kind) + " where the parameter is of kind " +
               std::to_string(static_cast<int>(row->kind));
    switch (row->kind) {
    case ParamKind::Text:
        if (item.text.size() > kMaxItemText) return "text longer than 243 bytes";
        for (char c : item.text)
            if (UnsafeRequestByte(c)) return "text holding STX, ETX, ';' or NUL";
        if (row->Has(ParamFlags::FreqGhz) && !IsPlainDecimal(item.text)) return "not a frequency";
        break;
    case ParamKind::OptionList:
        if (item.number >= static_cast<uint32_t>(OptionCount(row->options)) ||
            IsPlaceholderOption(row->options[item.number]))
            return "option " + std::to_string(item.number) + " is not in the list";
        break;
    default:
        break;
    }
    std::string request;
    if (!BuildItemRequest(kAnyUnitAddress, item, request)) return "too long for a request";
    return "";
}

std::string RecordName(uint32_t r) { return "record " + std::to_string(r + 1); }

}  // namespace

std::string ConfigFileCheck::Text() const { return where.empty() ? message : message + ": " + where; }

namespace {

// CheckConfigFile with the checksum's verdict already known, so that a caller
// that needs the checksum itself goes over the file once.
ConfigFileCheck CheckKnowingChecksum(std::string_view file, bool checksumOk, ConfigFileKind kind,
                                     uint32_t recordsNeeded) {
    ConfigFileCheck out;
    const char* const notConfig =
        kind == ConfigFileKind::Set ? "Invalid config type in file" : "Config in file is not a demod config";
    const char* const badItem = "Invalid item in file";
    auto fail = [&out](const char* message, std::string where, std::string code = {}) {
        out.ok = false;
        out.message = message;
        out.where = std::move(where);
        out.code = std::move(code);
        return out;
    };
    if (!checksumOk) return fail("Invalid checksum in file", "");
    if (file.size() < 8) return fail(notConfig, "too short to hold a record count");
    ReadRecordCount(file, out.recordCount);
    const uint32_t count = out.recordCount;
    if (kind == ConfigFileKind::Config && count > 2) return fail("More than 1 config in file", "");
    if (kind == ConfigFileKind::Set && count < recordsNeeded)
        return fail("Incorrect number of configs in file",
                    std::to_string(count) + " record(s), the unit takes " + std::to_string(recordsNeeded));

    // The layout first: every record's type, slot, items and end mark, then
    // "///" right before the checksum. Item bodies are only bounded here.
    ConfigCursor cursor(file);
    for (uint32_t r = 0; r < count; ++r) {
        const size_t at = cursor.Offset();
        std::string type;
        if (!cursor.ReadRecordStart(&type)) {
            if (type == kFileEnd && at + kFileEnd.size() == cursor.Limit())
                return fail(notConfig, "file ends after " + std::to_string(r) + " record(s) of " +
                                           std::to_string(count));
            return fail(notConfig, RecordName(r) + " is not a demod config");
        }
        uint32_t slot = 0;
        if (!cursor.ReadU32(slot)) return fail(badItem, RecordName(r) + " is cut short");
        for (size_t i = 0;; ++i) {
            ParamItem item;
            const ConfigCursor::Item got = cursor.NextItem(item);
            if (got == ConfigCursor::Item::EndOfRecord) break;
            if (got == ConfigCursor::Item::EndOfFile) return fail(badItem, RecordName(r) + " has no end mark");
            if (got == ConfigCursor::Item::Invalid) {
                const std::string_view code = file.substr(cursor.Offset(), 4);
                return fail(badItem,
                            RecordName(r) + ", item " + std::to_string(i + 1) + " (" + std::string(code) +
                                "): unknown kind or cut short",
                            std::string(code));
            }
        }
    }
    if (cursor.Offset() + kFileEnd.size() != cursor.Limit() ||
        file.substr(cursor.Offset(), kFileEnd.size()) != kFileEnd)
        return fail(badItem, "bytes after record " + std::to_string(count) + " where \"///\" belongs");
    if (kind == ConfigFileKind::Config && count < recordsNeeded)
        return fail(notConfig, std::to_string(count) + " record(s), the unit takes " + std::to_string(recordsNeeded));

    // Then every item against the parameter tables.
    ConfigCursor items(file);
    for (uint32_t r = 0; r < count; ++r) {
        uint32_t slot = 0;
        items.ReadRecordStart();
        items.ReadU32(slot);
        const ParamEntry* demod = NarrowbandDemodTable;
        ParamItem item;
        size_t i = 0;
        for (; items.NextItem(item) == ConfigCursor::Item::Param; ++i) {
            const std::string why = ItemFault(item, i, demod);
            if (!why.empty())
                return fail(badItem, RecordName(r) + ", item " + std::to_string(i + 1) + " (" + item.code + "): " + why,
                            item.code);
            if (item.code == kGudm) demod = DemodTableForMode(static_cast<int>(item.number));
        }
        if (i == 0) return fail(badItem, RecordName(r) + " holds no demod mode item (gudm)");
    }
    out.ok = true;
    return out;
}

ConfigFileCheck CheckAloneKnowingChecksum(std::string_view file, bool checksumOk) {
    uint32_t count = 0;
    ReadRecordCount(file, count);
    if (count > 2) return CheckKnowingChecksum(file, checksumOk, ConfigFileKind::Set, 8);
    return CheckKnowingChecksum(file, checksumOk, ConfigFileKind::Config, count < 1 ? 1 : count);
}

}  // namespace

ConfigFileCheck CheckConfigFile(std::string_view file, ConfigFileKind kind, uint32_t recordsNeeded) {
    return CheckKnowingChecksum(file, ConfigFileChecksumOk(file), kind, recordsNeeded);
}

ConfigFileCheck CheckConfigFileAlone(std::string_view file) {
    return CheckAloneKnowingChecksum(file, ConfigFileChecksumOk(file));
}

RecordApply WriteRecordsFromFile(UnitState& unit, CFerritRemoteControl& link, int unitAddress, ConfigCursor& cursor,
                                 int currentMode, RecordFailure* failure) {
    LinkGuard gate(link.PollGate());
    for (;;) {
        ParamItem item;
        switch (cursor.NextItem(item)) {
        case ConfigCursor::Item::EndOfRecord:
            return RecordApply::Done;
        case ConfigCursor::Item::EndOfFile:
            return RecordApply::EndOfFile;
        case ConfigCursor::Item::Invalid:
            return RecordApply::InvalidItem;
        case ConfigCursor::Item::Param:
            break;
        }
        std::string request;
        if (!BuildItemRequest(unitAddress, item, request)) return RecordApply::InvalidItem;
        const bool isMode = item.code == kGudm;
        const int value = static_cast<int>(item.number & 0xFF);
        if (isMode && value == currentMode) continue;
        // An item the unit answers with a refusal is its own verdict on the
        // value and the record goes on; an exchange without a good reply
        // leaves the unit's state unknown and stops it, as does a refused mode.
        const ResultCode result = ExchangeLocked(link, request, nullptr);
        if (result != kResultOk && (isMode || result != kUnitRefused)) {
            if (failure) *failure = {item.code, result};
            return RecordApply::NotTaken;
        }
        if (isMode) {
            link.WaitForRestart();
            unit.demodMode = value;
            currentMode = value;
        }
    }
}

// ---- describing ------------------------------------------------------------------

namespace {

std::string DescribeValue(const ParamEntry* row, const ParamItem& item) {
    if (item.code == kGudm) {
        switch (TakeDemodMode(item)) {
        case DemodModeTaken::Narrowband: return "Narrowband";
        case DemodModeTaken::Dvbt: return "DVBT";
        case DemodModeTaken::Refused: break;
        }
        return std::to_string(item.number) + " (refused by a load)";
    }
    switch (item.kind) {
    case kItemText: {
        if (!row) return item.text;
        std::string shown = item.text;
        if (row->Has(ParamFlags::FreqGhz)) shown = GhzTextToMhz(shown);
        if (row->Has(ParamFlags::TrimZeros)) shown = TrimZerosText(shown);
        return shown;
    }
    case kItemOptionList: {
        if (row && row->options) {
            const int index = ComboIndexFromOptionNumber(row->options, item.number & 0xFF);
            const char* text = index >= 0 ? OptionTextAtComboIndex(row->options, index) : nullptr;
            if (text) return text;
        }
        return std::to_string(item.number & 0xFF);
    }
    case kItemIpAddress:
        return FormatIp(item.number);
    case kItemRadioPair:
        if (item.code == "gmod") return InputSelectionText(item.number);
        return std::to_string(item.number);
    default:
        return "";
    }
}

}  // namespace

DescribedFile DescribeConfigFile(std::string_view file) {
    DescribedFile out;
    out.size = file.size();
    if (file.size() >= 4) {
        out.storedCrc = LoadU32(file, file.size() - 4);
        out.computedCrc = ConfigFileCrc(file.substr(0, file.size() - 4));
        out.checksumOk = out.storedCrc == out.computedCrc;
    }
    const ConfigFileCheck verdict = CheckAloneKnowingChecksum(file, out.checksumOk);
    if (!verdict.ok) out.error = verdict.Text();
    if (file.size() < 4) return out;
    out.endMarkOk = file.size() >= 7 && file.substr(file.size() - 7, 3) == kFileEnd;
    if (file.size() < 8) return out;
    ReadRecordCount(file, out.recordCount);

    ConfigCursor cursor(file);
    for (uint32_t r = 0; r < out.recordCount; ++r) {
        DescribedRecord record;
        const bool dem = cursor.ReadRecordStart(&record.type);
        if (!dem) break;
        if (!cursor.ReadU32(record.slot)) {
            out.records.push_back(std::move(record));
            break;
        }
        const ParamEntry* demod = NarrowbandDemodTable;
        for (;;) {
            ParamItem item;
            const ConfigCursor::Item kind = cursor.NextItem(item);
            if (kind == ConfigCursor::Item::EndOfRecord) {
                record.complete = true;
                break;
            }
            if (kind != ConfigCursor::Item::Param) break;
            if (item.code == kGudm) {
                record.mode = item.number;
                record.modeTaken = TakeDemodMode(item);
                demod = DemodTableForMode(record.modeTaken == DemodModeTaken::Dvbt ? 1 : 0);
            }
            const ParamEntry* row = FindParam(demod, item.code.c_str());
            if (!row) row = FindParam(DecoderTable, item.code.c_str());
            DescribedItem d;
            d.code = item.code;
            d.kind = item.kind;
            const char* label = item.code == kGudm ? "Demod mode" : ParamLabel(item.code.c_str());
            d.label = label ? label : "";
            d.value = DescribeValue(row, item);
            d.raw = item.kind == kItemText ? item.text : std::to_string(item.number);
            record.items.push_back(std::move(d));
        }
        const bool complete = record.complete;
        out.records.push_back(std::move(record));
        if (!complete) break;
    }
    return out;
}
