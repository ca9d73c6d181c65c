// status (one poll cycle, lamps and values) and dump (every setting of the
// unit as the pages show it).
#include <cstdio>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/unit_events.h"
#include "link/requests.h"
#include "pages/page_form.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "params/poll_run.h"
#include "platform/clock.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/output.h"

namespace {

std::string LabelOf(const char* code) {
    if (const char* label = ParamLabel(code)) return label;
    return code;
}

struct ShownRow {
    const char* code = nullptr;
    std::string unit;      // as the caption names it
    std::string label;
    bool ok = false;       // the exchange succeeded
    char status = 0;
    std::string raw;       // the reply's data text
    std::string value;
};

ShownRow NotRead(const char* code) {
    ShownRow shown;
    shown.code = code;
    shown.label = LabelOf(code);
    shown.unit = PageUnit(code);
    return shown;
}

// A row as the unit answered it (`reply`), its value stored in `row` and
// shown as the page would show it.
ShownRow AnsweredRow(UnitState& unit, const ParamEntry* row, const char* code, const UnitReply& reply) {
    ShownRow shown = NotRead(code);
    if (!reply.Answered()) return shown;
    shown.ok = true;
    shown.status = reply.status;
    shown.raw = reply.data;
    if (reply.status != '1' || row == nullptr) return shown;   // the unit refused the code
    std::string text = reply.data;
    StoreReplyValue(unit, text, *row);
    shown.value = ShownPageValue(unit, *row, reply.data);
    return shown;
}

// Reads one row from the unit, stores the reply in it and returns what the
// page would show.
ShownRow ReadRow(ToolContext& tool, const ParamEntry& row) {
    if (tool.LinkGone()) return NotRead(row.code);
    return AnsweredRow(tool.unit, &row, row.code, tool.Exchange(BuildReadRequest(tool.address, row.code), 1, row.code));
}

// A row of dump: the value as the page shows it, a number when it is a plain
// one; with --pages also the unit the caption names (null when none).
JsonDocument RowJson(const ShownRow& r, bool pages) {
    JsonDocument o;
    o["code"] = r.code;
    o["label"] = JsonBytes(r.label);
    o["status"] = StatusJson(r.ok, r.status);
    o["value"] = r.ok && r.status == '1' ? UnitValueJson(r.value, r.code) : JsonDocument(nullptr);
    if (pages) o["unit"] = r.unit.empty() ? JsonDocument(nullptr) : JsonDocument(r.unit);
    return o;
}

JsonDocument RowsJson(const std::vector<ShownRow>& rows, bool pages) {
    JsonDocument array = JsonDocument::array();
    for (const ShownRow& r : rows) array.push_back(RowJson(r, pages));
    return array;
}

void PrintRow(FILE* out, const ShownRow& r, bool pages = false) {
    if (!r.ok) {
        std::fprintf(out, "%s: (no reply)\n", r.label.c_str());
    } else if (r.status != '1') {
        std::fprintf(out, "%s: (%s)\n", r.label.c_str(), kTextRefused);
    } else {
        const std::string unit = pages && !r.unit.empty() && !r.value.empty() ? " " + r.unit : std::string();
        std::fprintf(out, "%s: %s%s\n", r.label.c_str(), TerminalText(r.value).c_str(), unit.c_str());
    }
}

}  // namespace

int RunStatus(ToolContext& tool) {
    // One poll cycle; a unit that gives no reply at all is not asked further.
    std::vector<ShownRow> rows;
    for (const PollRead& read : kPollPlan) rows.push_back(NotRead(read.code));
    PollRun run;
    run.unitAddress = tool.address;
    run.onFailure = PollFailure::EndsCycleWhenGone;
    run.exchange = [&tool](const PollRead& read, const std::string& request) {
        return tool.Exchange(request, 1, read.code);
    };
    run.onRead = [&rows, &tool](size_t row, const UnitReply& reply) {
        const PollRead& read = kPollPlan[row];
        rows[row] = AnsweredRow(tool.unit, PollValueRow(tool.unit, read), read.code, reply);
    };
    PollSample sample;
    RunPollPlan(run, sample);

    const ShownRow& packets = rows[kColPacketErrors];
    std::vector<ShownRow> snr(rows.begin() + kColSnrA, rows.begin() + kColSnrD + 1);
    std::vector<ShownRow> levels(rows.begin() + kColLevelA, rows.begin() + kColLevelD + 1);
    const Lamps lamps = SampleLamps(sample);
    const LampState demodLamp = lamps.demodLock;
    const LampState receptionLamp = lamps.reception;
    const LampState decoderLamp = lamps.decoderLock;

    if (tool.options.json) {
        // The object watch prints each cycle.
        sample.timeMs = WallClockMs();
        std::fprintf(tool.out, "%s\n", JsonText(PollSampleJson(sample)).c_str());
    } else {
        std::fprintf(tool.out, "Demod lock: %s\n", LampName(demodLamp));
        std::fprintf(tool.out, "Reception: %s\n", LampName(receptionLamp));
        std::fprintf(tool.out, "Decoder lock: %s\n", LampName(decoderLamp));
        PrintRow(tool.out, packets);
        for (const ShownRow& r : snr) PrintRow(tool.out, r);
        for (const ShownRow& r : levels) PrintRow(tool.out, r);
    }
    return tool.ExitStatus();
}

int RunDump(ToolContext& tool) {
    const ExchangeReply slot = tool.Exchange(SlotInUseReadRequest(tool.address), 1, "dlas");
    if (slot.result != kResultOk) return tool.ExitStatus();
    const ExchangeReply mode = tool.Exchange(DemodModeReadRequest(tool.address), 1, "gudm");
    if (mode.result != kResultOk) return tool.ExitStatus();
    const int m = DecimalValue(mode.data) == 1 ? 1 : 0;
    tool.unit.demodMode = m;

    std::vector<ShownRow> demodRows, decoderRows;
    for (const ParamEntry* row = DemodTableForMode(m); row->code; ++row) demodRows.push_back(ReadRow(tool, *row));
    for (const ParamEntry* row = DecoderTable; row->code; ++row) decoderRows.push_back(ReadRow(tool, *row));

    const long long slotNumber = static_cast<long long>(DecimalValue(slot.data));
    const char* modeName = m == 1 ? "DVBT" : "Narrowband";
    if (tool.options.json) {
        JsonDocument doc;
        doc["address"] = tool.address;
        doc["slot"] = slotNumber;
        doc["mode"] = m;
        doc["mode_name"] = modeName;
        doc["demod"] = RowsJson(demodRows, tool.options.pages);
        doc["decoder"] = RowsJson(decoderRows, tool.options.pages);
        doc["ok"] = !tool.failed;
        std::fprintf(tool.out, "%s\n", JsonText(doc).c_str());
    } else {
        std::fprintf(tool.out, "Slot: %lld\nMode: %s\n", slotNumber, modeName);
        std::fprintf(tool.out, "[%s demodulator]\n", modeName);
        for (const ShownRow& r : demodRows) PrintRow(tool.out, r, tool.options.pages);
        std::fprintf(tool.out, "[Decoder]\n");
        for (const ShownRow& r : decoderRows) PrintRow(tool.out, r, tool.options.pages);
    }
    return tool.ExitStatus();
}
