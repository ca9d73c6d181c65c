// The configuration file format: building, checking, reading and applying
// records, and describing a file for people.
#include "pages/config_file.h"

#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kCrcPolynomial = 0x04C11DB7;
constexpr char kGudm[] = "gudm";
constexpr uint32_t kRestartWaitMs = 7000;

uint32_t LoadU32(std::string_view bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

}  // namespace

uint32_t ConfigFileCrc(const void* data, size_t size, uint32_t crc) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        uint8_t byte = bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            const uint32_t in = (byte >> bit) & 1u;
            const uint32_t top = crc >> 31;
            crc <<= 1;
            if (in != top) crc ^= kCrcPolynomial;
        }
    }
    return crc;
}

// ---- building -------------------------------------------------------------------

void AppendU32(std::string& image, uint32_t value) {
    for (int i = 0; i < 4; ++i) image.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void BeginConfigFile(std::string& image, uint32_t recordCount) {
    image.clear();
    AppendU32(image, recordCount);
}

void AppendConfigRecord(std::string& image, int slot, int mode) {
    image.append(kRecordStart);
    AppendU32(image, static_cast<uint32_t>(slot));
    image.append(kGudm, 4);
    image.push_back(static_cast<char>(kItemOptionList));
    AppendU32(image, static_cast<uint32_t>(mode));
    SerializeTable(DemodTableForMode(mode), image);
    SerializeTable(DecoderTable, image);
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
    request = BuildWriteRequest(unitAddress, item.code.c_str(), data);
    // Everything after the STX must fit in one frame.
    return request.size() - 1 <= kMaxRequestText;
}

RecordApply WriteRecordsFromFile(CFerritRemoteControl& link, int unitAddress, ConfigCursor& cursor,
                                 int currentMode) {
    LinkGuard gate(PollGateLock);
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
        ExchangeLocked(link, request, nullptr);
        if (isMode) {
            FixedWait(kRestartWaitMs);
            if (link.mode == LinkModeEthernet) {
                LinkGuard guard(LinkLock);
                link.ConnectSocket();
            }
            CurrentDemodMode = value;
            currentMode = value;
        }
    }
}

// ---- describing ------------------------------------------------------------------

namespace {

std::string DescribeValue(const ParamEntry* row, const ParamItem& item) {
    if (item.code == kGudm) return (item.number & 0xFF) == 1 ? "DVBT" : "Narrowband";
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
        if (item.code == "gmod") return item.number != 0 ? "Chaining input" : "RF input";
        return std::to_string(item.number);
    default:
        return "";
    }
}

}  // namespace

DescribedFile DescribeConfigFile(std::string_view file) {
    DescribedFile out;
    out.size = file.size();
    if (file.size() < 4) {
        out.error = "File too short to hold a checksum";
        return out;
    }
    out.storedCrc = LoadU32(file, file.size() - 4);
    out.computedCrc = ConfigFileCrc(file.substr(0, file.size() - 4));
    out.checksumOk = out.storedCrc == out.computedCrc;
    out.endMarkOk = file.size() >= 7 && file.substr(file.size() - 7, 3) == kFileEnd;
    if (file.size() < 8) {
        out.error = "File too short to hold a record count";
        return out;
    }
    ReadRecordCount(file, out.recordCount);

    ConfigCursor cursor(file);
    for (uint32_t r = 0; r < out.recordCount; ++r) {
        DescribedRecord record;
        const size_t at = cursor.Offset();
        const bool dem = cursor.ReadRecordStart(&record.type);
        if (!dem) {
            if (record.type != kFileEnd || at + 3 != cursor.Limit())
                out.error = "Record " + std::to_string(r + 1) + " is not a demod config";
            else
                out.error = "File ends after " + std::to_string(r) + " record(s)";
            break;
        }
        if (!cursor.ReadU32(record.slot)) {
            out.records.push_back(std::move(record));
            out.error = "Record " + std::to_string(r + 1) + " is cut short";
            break;
        }
        ParamEntry* demod = NarrowbandDemodTable;
        for (;;) {
            ParamItem item;
            const ConfigCursor::Item kind = cursor.NextItem(item);
            if (kind == ConfigCursor::Item::EndOfRecord) {
                record.complete = true;
                break;
            }
            if (kind == ConfigCursor::Item::EndOfFile) {
                out.error = "Record " + std::to_string(r + 1) + " has no end mark";
                break;
            }
            if (kind == ConfigCursor::Item::Invalid) {
                out.error = "Invalid item in record " + std::to_string(r + 1) + " at offset " +
                            std::to_string(cursor.Offset());
                break;
            }
            if (item.code == kGudm) {
                record.mode = static_cast<int>(item.number & 0xFF);
                demod = DemodTableForMode(record.mode);
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
        out.records.push_back(std::move(record));
        if (!out.error.empty()) break;
    }
    return out;
}
