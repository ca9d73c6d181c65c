// The configuration and set file readers: any file, with its checksum as
// stored or made right, is read record by record without reading past its end,
// every item that is sent builds one well-formed request, and applying a file
// that passes the check to a link never gets stuck.
#include "fuzz/config_input.h"
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
// unit's reply to each row's read request, decoded by the codec. Only every
// `stride`-th row from `first` on is filled; the others are left empty, and a
// record built from the tables then holds only the filled rows.
void FillTablesFromUnit(UnitState& values, sim::SimUnit& unit, int mode, int stride = 1, int first = 0) {
    ForgetEveryValue(values);
    unit.HandleFrame([&] {
        std::string frame;
        BuildRequestFrame(DemodModeRequest(1, mode), frame);
        return frame;
    }());
    for (const ParamEntry* table : {DemodTableForMode(mode), DecoderTable}) {
        int index = 0;
        for (const ParamEntry* row = table; row->code; ++row, ++index) {
            if (index % stride != first) continue;
            std::string frame;
            BuildRequestFrame(BuildReadRequest(1, row->code), frame);
            const std::string reply = unit.HandleFrame(frame);
            std::string kept;
            ParsedReply parsed;
            if (AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, parsed) == kResultOk &&
                parsed.status == '1')
                StoreReplyValue(values, parsed.data, *row);
        }
    }
}

void CheckRequest(const std::string& request) {
    FUZZ_CHECK(!request.empty() && uint8_t(request[0]) == kStx);
    // One pass over the request: one STX, no ETX or zero byte, two ';'.
    size_t stx = 0, etx = 0, zero = 0, semicolons = 0;
    for (const char c : request) {
        stx += c == char(kStx);
        etx += c == char(kEtx);
        zero += c == '\0';
        semicolons += c == ';';
    }
    FUZZ_CHECK(stx == 1 && etx == 0 && zero == 0);
    FUZZ_CHECK(semicolons == 2 && request.back() == ';');
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
    UnitState values;
    ConfigCursor cursor(file);
    for (int record = 0; record < 64; ++record) {
        uint32_t slot = 0;
        if (!cursor.ReadRecordStart() || !cursor.ReadU32(slot)) return;
        const size_t before = cursor.Offset();
        const RecordApply result = WriteRecordsFromFile(values, link, 1, cursor, 0);
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
    UnitState values;

    // A two-mode unit's configuration file: a record in each mode.
    std::string image;
    BeginConfigFile(image, 2);
    FillTablesFromUnit(values, unit, 0);
    AppendConfigRecord(values, image, 1, 0);
    FillTablesFromUnit(values, unit, 1);
    AppendConfigRecord(values, image, 1, 1);
    FinishConfigFile(image);
    seeds.emplace_back("config_two_modes", image);

    // A "K840" unit's file: one record.
    BeginConfigFile(image, 1);
    AppendConfigRecord(values, image, 4, 1);
    FinishConfigFile(image);
    seeds.emplace_back("config_one_record", image);

    // Sets, kept short (inputs are limited to 640 bytes for speed): eight
    // records of one mode, each holding every eighth row of its tables, so
    // that together they hold every row; and sixteen records, slots 1 to 8 in
    // each mode, holding the gudm item alone.
    BeginConfigFile(image, 8);
    for (int slot = 1; slot <= 8; ++slot) {
        FillTablesFromUnit(values, unit, 1, 8, slot - 1);
        AppendConfigRecord(values, image, slot, 1);
    }
    FinishConfigFile(image);
    seeds.emplace_back("config_set", image);

    BeginConfigFile(image, 16);
    ForgetEveryValue(values);
    for (int mode : {0, 1})
        for (int slot = 1; slot <= 8; ++slot) AppendConfigRecord(values, image, slot, mode);
    FinishConfigFile(image);
    seeds.emplace_back("config_set_bare", image);
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool waitsSkipped = [] {
        SetWaiter([](uint32_t) {});   // the 7,000 ms restart waits of gudm items
        return true;
    }();
    (void)waitsSkipped;

    const std::string_view asStored(reinterpret_cast<const char*>(data), size);
    // The same bytes with a checksum that matches: the files the readers accept.
    const std::string accepted = WithChecksumMadeRight(asStored);

    // As stored, a file whose last four bytes are not its checksum is refused
    // for that before anything else. Its records are the same bytes as those
    // of `accepted`, which is read in full below.
    if (asStored != accepted) {
        const ConfigFileCheck check = CheckConfigFileAlone(asStored);
        FUZZ_CHECK(!check.ok && check.message == "Invalid checksum in file");
    }

    uint32_t count = 0;
    FUZZ_CHECK(ReadRecordCount(asStored, count) == (size >= 4));
    WalkFile(accepted);
    // The program applies only files that pass the whole-file check. (The
    // check and the description of any file are fuzz_config_check's.)
    if (CheckConfigFileAlone(accepted).ok) ApplyFile(accepted);
    return 0;
}
