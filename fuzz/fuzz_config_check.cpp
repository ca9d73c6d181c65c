// The whole-file check of configuration files (CheckConfigFile), which stands
// between a file and the unit: whatever the bytes, it never accepts a file
// whose checksum is wrong and refuses with one of the operator's messages; the
// description of any file agrees with it; and a file it accepts is one the
// program can use whole: the record count the kind takes, complete "DEM"
// records beginning with the mode item, and every item a write request that
// reaches the simulated unit (which takes the mode item).
#include <algorithm>

#include "fuzz/config_input.h"
#include "fuzz/fuzz_common.h"
#include "fuzz/seed_frames.h"
#include "link/frame.h"
#include "pages/config_file.h"
#include "params/codec.h"
#include "params/param_table.h"

namespace {

sim::SimUnit& Unit() {
    static sim::SimUnit* unit = [] {
        sim::SimOptions options;
        options.serial = false;
        options.restartMs = 0;   // the mode item restarts the unit; no silence after it
        options.drift = false;
        return new sim::SimUnit(options);
    }();
    return *unit;
}

bool OperatorMessage(const std::string& message) {
    for (const char* known : {"Invalid checksum in file", "Invalid config type in file",
                              "Config in file is not a demod config", "More than 1 config in file",
                              "Incorrect number of configs in file", "Invalid item in file"})
        if (message == known) return true;
    return false;
}

// Sends every item of every record to the simulated unit, as applying the file does.
void SendToUnit(std::string_view file, uint32_t count) {
    sim::SimUnit& unit = Unit();
    ConfigCursor cursor(file);
    for (uint32_t r = 0; r < count; ++r) {
        uint32_t slot = 0;
        FUZZ_CHECK(cursor.ReadRecordStart() && cursor.ReadU32(slot));
        for (;;) {
            ParamItem item;
            const ConfigCursor::Item kind = cursor.NextItem(item);
            if (kind == ConfigCursor::Item::EndOfRecord) break;
            FUZZ_CHECK(kind == ConfigCursor::Item::Param);
            std::string request, frame;
            FUZZ_CHECK(BuildItemRequest(1, item, request));
            FUZZ_CHECK(BuildRequestFrame(request, frame));
            const std::string reply = unit.HandleFrame(frame);
            std::string kept;
            ParsedReply parsed;
            FUZZ_CHECK(AcceptReply(reinterpret_cast<const uint8_t*>(reply.data()), reply.size(), kept, parsed) ==
                       kResultOk);
            if (item.code == "gudm") FUZZ_CHECK(parsed.status == '1');
        }
    }
    unit.ClearRequests();
}

}  // namespace

SeedList FuzzSeeds() {
    // The first byte picks the kind and the records the unit takes; the rest
    // is the file: records holding a row of each kind from the tables.
    SeedList seeds;
    UnitState values;
    auto record = [&values](std::string& image, int slot, int mode, bool withItems) {
        ForgetEveryValue(values);
        if (withItems) {
            const ParamEntry* demod = DemodTableForMode(mode);
            int filled = 0;
            for (const ParamEntry* row = demod; row->code && filled < 3; ++row) {
                if (!row->writable) continue;
                ParamValue v;
                v.has = true;
                v.number = 1;
                v.text = "1.5";
                StoreParamValue(values, *row, v);
                ++filled;
            }
        }
        AppendConfigRecord(values, image, slot, mode);
    };
    for (int kindByte : {0, 2}) {   // a configuration of 1 or 2 records
        std::string image;
        const int records = kindByte == 0 ? 1 : 2;
        BeginConfigFile(image, records);
        for (int r = 0; r < records; ++r) record(image, 1, r, true);
        FinishConfigFile(image);
        seeds.emplace_back("config_" + std::to_string(records), std::string(1, char(kindByte)) + image);
    }
    for (int kindByte : {1, 3}) {   // a set of 8 or 16 records
        std::string image;
        const int records = kindByte == 1 ? 8 : 16;
        BeginConfigFile(image, records);
        for (int r = 0; r < records; ++r) record(image, r % 8 + 1, r / 8, r % 3 == 0);
        FinishConfigFile(image);
        seeds.emplace_back("set_" + std::to_string(records), std::string(1, char(kindByte)) + image);
    }
    return seeds;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t pick = data[0];
    const ConfigFileKind kind = (pick & 1) ? ConfigFileKind::Set : ConfigFileKind::Config;
    const uint32_t needed = kind == ConfigFileKind::Set ? ((pick & 2) ? 16 : 8) : ((pick & 2) ? 2 : 1);
    const std::string_view asStored(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string accepted = WithChecksumMadeRight(asStored);

    // A wrong checksum is refused, and for that reason.
    if (asStored != accepted) {
        const ConfigFileCheck stored = CheckConfigFile(asStored, kind, needed);
        FUZZ_CHECK(!stored.ok && stored.message == "Invalid checksum in file");
    }
    // One bit of the right checksum flipped (in place, and put back).
    const size_t flipAt = accepted.size() - 1 - (pick >> 2) % 4;
    const char flipBit = char(1u << (pick >> 4) % 8);
    accepted[flipAt] ^= flipBit;
    const ConfigFileCheck wrong = CheckConfigFile(accepted, kind, needed);
    accepted[flipAt] ^= flipBit;
    FUZZ_CHECK(!wrong.ok && wrong.message == "Invalid checksum in file");

    // Any file is described without reading past its end; the description
    // carries the verdict of the check on the file alone.
    const DescribedFile described = DescribeConfigFile(accepted);
    FUZZ_CHECK(described.size == accepted.size() && described.checksumOk);
    for (const DescribedRecord& record : described.records) {
        FUZZ_CHECK(record.type.size() <= 3);
        for (const DescribedItem& item : record.items) FUZZ_CHECK(item.code.size() == 4);
    }
    const ConfigFileCheck verdict = CheckConfigFile(accepted, kind, needed);
    // The check of the file alone is this one when the file's own count picks
    // the same kind and records (a set of 8 above 2 records, else a
    // configuration of all its records): it is not made twice.
    uint32_t stated = 0;
    ReadRecordCount(accepted, stated);
    const bool aloneIsThis = stated > 2 ? kind == ConfigFileKind::Set && needed == 8
                                        : kind == ConfigFileKind::Config && needed == std::max<uint32_t>(stated, 1);
    FUZZ_CHECK(described.error.empty() == (aloneIsThis ? verdict.ok : CheckConfigFileAlone(accepted).ok));
    if (!verdict.ok) {
        FUZZ_CHECK(OperatorMessage(verdict.message));
        FUZZ_CHECK(verdict.Text().compare(0, verdict.message.size(), verdict.message) == 0);
        return 0;
    }

    // Accepted: the count the kind takes, and records the program can use whole.
    const uint32_t count = verdict.recordCount;
    if (kind == ConfigFileKind::Config)
        FUZZ_CHECK(count >= needed && count <= 2);
    else
        FUZZ_CHECK(count >= needed);
    FUZZ_CHECK(described.error.empty() && described.endMarkOk);
    FUZZ_CHECK(described.recordCount == count && described.records.size() == count);
    for (const DescribedRecord& record : described.records) {
        FUZZ_CHECK(record.type == "DEM" && record.complete);
        FUZZ_CHECK((record.mode == 0 || record.mode == 1) && record.modeTaken != DemodModeTaken::Refused);
        FUZZ_CHECK(!record.items.empty() && record.items[0].code == "gudm");
    }
    SendToUnit(accepted, count);
    return 0;
}
