// The configuration and set file readers: any file, with its checksum as
// stored or made right, is read record by record without reading past its end,
// every item that is sent builds one well-formed request, and applying a file
// to a link never gets stuck.
#include <algorithm>

#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/frame.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "pages/config_file.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "platform/clock.h"

namespace {

// Fills the parameter tables the way a read from the unit does: the simulated
// unit's reply to each row's read request, decoded by the codec.
void FillTablesFromUnit(sim::SimUnit& unit, int mode) {
    unit.HandleFrame([&] {
        std::string frame;
        BuildRequestFrame(DemodModeRequest(1, mode), frame);
        return frame;
    }());
    for (ParamEntry* table : {DemodTableForMode(mode), DecoderTable}) {
        for (ParamEntry* row = table; row->code; ++row) {
            std::string frame;
            BuildRequestFrame(BuildReadRequest(1, row->code), frame);
            const std::string reply = unit.HandleFrame(frame);
            std::string kept;
            ParsedReply parsed;
            if (AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, parsed) == kResultOk &&
                parsed.status == '1')
                StoreReplyValue(parsed.data, *row);
        }
    }
}

void CheckRequest(const std::string& request) {
    FUZZ_CHECK(!request.empty() && uint8_t(request[0]) == kStx);
    FUZZ_CHECK(std::count(request.begin(), request.end(), char(kStx)) == 1);
    FUZZ_CHECK(request.find(char(kEtx)) == std::string::npos);
    FUZZ_CHECK(request.find('\0') == std::string::npos);
    FUZZ_CHECK(std::count(request.begin(), request.end(), ';') == 2 && request.back() == ';');
    FUZZ_CHECK(request[5] == 'w' && request[10] == ';');
    std::string frame;
    FUZZ_CHECK(BuildRequestFrame(request, frame));
    FUZZ_CHECK(frame.size() <= kMaxFrameLength);
}

void WalkFile(std::string_view file) {
    ConfigCursor cursor(file);
    FUZZ_CHECK(cursor.Limit() <= file.size());
    for (int record = 0; record < 64; ++record) {
        std::string type;
        const bool dem = cursor.ReadRecordStart(&type);
        FUZZ_CHECK(type.size() <= 3 && cursor.Offset() <= cursor.Limit());
        if (!dem) break;
        uint32_t slot = 0;
        if (!cursor.ReadU32(slot)) break;
        for (;;) {
            const size_t before = cursor.Offset();
            ParamItem item;
            const ConfigCursor::Item kind = cursor.NextItem(item);
            FUZZ_CHECK(cursor.Offset() <= cursor.Limit());
            if (kind == ConfigCursor::Item::Invalid) {
                FUZZ_CHECK(cursor.Offset() == before);
                return;
            }
            if (kind == ConfigCursor::Item::EndOfFile) return;
            FUZZ_CHECK(cursor.Offset() > before);   // always moves on
            if (kind == ConfigCursor::Item::EndOfRecord) break;
            FUZZ_CHECK(item.code.size() == 4);
            if (item.kind == kItemText) FUZZ_CHECK(item.text.size() <= file.size());
            std::string request;
            if (BuildItemRequest(1, item, request)) CheckRequest(request);
        }
    }
}

void ApplyFile(std::string_view file) {
    static CFerritRemoteControl link(nullptr);   // no port: every exchange fails at once
    ConfigCursor cursor(file);
    for (int record = 0; record < 64; ++record) {
        uint32_t slot = 0;
        if (!cursor.ReadRecordStart() || !cursor.ReadU32(slot)) return;
        const size_t before = cursor.Offset();
        const RecordApply result = WriteRecordsFromFile(link, 1, cursor, 0);
        FUZZ_CHECK(cursor.Offset() >= before && cursor.Offset() <= cursor.Limit());
        if (result != RecordApply::Done) return;
    }
}

}  // namespace

SeedList FuzzSeeds() {
    SeedList seeds;
    sim::SimOptions options;
    options.serial = false;
    options.restartMs = 0;
    options.drift = false;
    sim::SimUnit unit(options);

    // A two-mode unit's configuration file: a record in each mode.
    std::string image;
    BeginConfigFile(image, 2);
    FillTablesFromUnit(unit, 0);
    AppendConfigRecord(image, 1, 0);
    FillTablesFromUnit(unit, 1);
    AppendConfigRecord(image, 1, 1);
    FinishConfigFile(image);
    seeds.emplace_back("config_two_modes", image);

    // A "K840" unit's file: one record.
    BeginConfigFile(image, 1);
    AppendConfigRecord(image, 4, 1);
    FinishConfigFile(image);
    seeds.emplace_back("config_one_record", image);

    // A configuration set: sixteen records, slots 1 to 8 in each mode.
    BeginConfigFile(image, 16);
    for (int mode : {0, 1}) {
        FillTablesFromUnit(unit, mode);
        for (int slot = 1; slot <= 8; ++slot) AppendConfigRecord(image, slot, mode);
    }
    FinishConfigFile(image);
    seeds.emplace_back("config_set", image);
    ResetAllParamValues();
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool waitsSkipped = [] {
        SetWaiter([](uint32_t) {});   // the 7,000 ms restart waits of gudm items
        return true;
    }();
    (void)waitsSkipped;

    const std::string asStored(reinterpret_cast<const char*>(data), size);
    // The same bytes with a checksum that matches: the files the readers accept.
    std::string accepted = asStored.size() >= 4 ? asStored.substr(0, asStored.size() - 4) : asStored;
    AppendU32(accepted, ConfigFileCrc(accepted));
    FUZZ_CHECK(ConfigFileChecksumOk(accepted));

    for (const std::string* file : {&asStored, static_cast<const std::string*>(&accepted)}) {
        uint32_t count = 0;
        FUZZ_CHECK(ReadRecordCount(*file, count) == (file->size() >= 4));
        const DescribedFile described = DescribeConfigFile(*file);
        FUZZ_CHECK(described.size == file->size());
        FUZZ_CHECK(described.checksumOk == ConfigFileChecksumOk(*file));
        for (const DescribedRecord& record : described.records) {
            FUZZ_CHECK(record.type.size() <= 3);
            for (const DescribedItem& item : record.items) FUZZ_CHECK(item.code.size() == 4);
        }
        WalkFile(*file);
    }
    ApplyFile(accepted);
    return 0;
}
