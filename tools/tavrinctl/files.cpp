// The configuration file commands: save and load a configuration or a whole
// set through the unit session, and inspect a file without a unit.
#include <cstdio>
#include <string>

#include "app/operator_texts.h"
#include "app/unit_session.h"
#include "pages/config_file.h"
#include "pages/config_ops.h"
#include "platform/program_folder.h"
#include "tools/tavrinctl/commands.h"
#include "tools/tavrinctl/console.h"
#include "tools/tavrinctl/output.h"

namespace {

using FileOperation = bool (*)(CUnitSession&, const std::string&);

enum class FileUse { Read, Write };

// The file checked before the unit is: what the operation would find later,
// said at once with the system's reason.
bool FileUsable(FILE* err, const std::string& path, FileUse use) {
    std::string why;
    std::string contents;
    if (use == FileUse::Read && !ReadWholeFile(path, contents, kMaxReadFileBytes, &why)) {
        PrintError(err, path, kTextCannotReadFile, why);
        return false;
    }
    if (use == FileUse::Write && !CanCreateFileBeside(path, &why)) {
        PrintError(err, path, kTextCannotWriteFile, why);
        return false;
    }
    return true;
}

// Checks the file, reads the unit's slot, mode and settings, as the desktop
// program has done by the time the operator can press a file button, then
// runs `operation`.
int RunWithSession(ToolContext& tool, FileOperation operation, FileUse use, const char* doneText) {
    const std::string& path = tool.options.args[0];
    if (!FileUsable(tool.err, path, use)) return kExitFailure;
    ConsoleView view(tool.out, tool.err, path, ConsoleView::ProgressWanted(tool.err, tool.options.quiet));
    CUnitSession session(tool.link, tool.unit, view);
    session.unitAddress = tool.address;
    if (!session.ReadUnitConfig(true) || view.Failed()) return kExitFailure;
    const bool ok = operation(session, path);
    if (!ok || view.Failed()) return kExitFailure;
    if (doneText) std::fprintf(tool.out, "%s %s\n", doneText, TerminalText(path).c_str());
    return kExitSuccess;
}

// A record's mode as a load takes it: "0 (Narrowband)", "7 (refused by a load)".
std::string ModeText(const DescribedRecord& r) {
    if (r.mode < 0) return "none (refused by a load)";
    const char* const taken[] = {"Narrowband", "DVBT", "refused by a load"};
    return std::to_string(r.mode) + " (" + taken[static_cast<int>(r.modeTaken)] + ")";
}

// The same for JSON: "narrowband", "dvbt", or null when a load refuses it.
JsonDocument ModeTakenJson(DemodModeTaken taken) {
    switch (taken) {
    case DemodModeTaken::Narrowband: return "narrowband";
    case DemodModeTaken::Dvbt: return "dvbt";
    case DemodModeTaken::Refused: break;
    }
    return nullptr;
}

std::string Hex32(uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08x", v);
    return buffer;
}

std::string FileJson(const std::string& path, const DescribedFile& d, const std::string& message) {
    JsonDocument records = JsonDocument::array();
    for (const DescribedRecord& r : d.records) {
        JsonDocument items = JsonDocument::array();
        for (const DescribedItem& i : r.items)
            items.push_back({{"code", JsonBytes(i.code)},
                             {"kind", i.kind},
                             {"label", JsonBytes(i.label)},
                             {"value", UnitValueJson(i.value, i.code)},
                             {"raw", JsonBytes(i.raw)}});
        records.push_back({{"type", JsonBytes(r.type)},
                           {"slot", r.slot},
                           {"mode", r.mode},
                           {"mode_taken_as", ModeTakenJson(r.modeTaken)},
                           {"complete", r.complete},
                           {"items", items}});
    }
    JsonDocument doc;
    doc["file"] = JsonBytes(path);
    doc["size"] = static_cast<long long>(d.size);
    doc["valid"] = message.empty();
    doc["checksum_ok"] = d.checksumOk;
    doc["stored_crc"] = Hex32(d.storedCrc);
    doc["computed_crc"] = Hex32(d.computedCrc);
    doc["record_count"] = d.recordCount;
    doc["end_mark_ok"] = d.endMarkOk;
    doc["error"] = message.empty() ? JsonDocument(nullptr) : JsonBytes(message);
    doc["records"] = records;
    return JsonText(doc);
}

// Texts from the file are shown as TerminalText: a file is input like a reply.
void PrintFile(FILE* out, const std::string& path, const DescribedFile& d) {
    std::fprintf(out, "File: %s (%zu bytes)\n", TerminalText(path).c_str(), d.size);
    std::fprintf(out, "Checksum: %s (stored %s, computed %s)\n", d.checksumOk ? "OK" : "BAD",
                 Hex32(d.storedCrc).c_str(), Hex32(d.computedCrc).c_str());
    std::fprintf(out, "Records: %u\n", d.recordCount);
    int n = 0;
    for (const DescribedRecord& r : d.records) {
        std::fprintf(out, "Record %d: %s, slot %u, mode %s%s\n", ++n, TerminalText(r.type).c_str(), r.slot,
                     ModeText(r).c_str(), r.complete ? "" : ", incomplete");
        for (const DescribedItem& i : r.items)
            std::fprintf(out, "  %-4s  %-30s %s\n", TerminalText(i.code).c_str(),
                         i.label.empty() ? "-" : TerminalText(i.label).c_str(), TerminalText(i.value).c_str());
    }
}

}  // namespace

int RunSaveConfig(ToolContext& tool) {
    return RunWithSession(tool, SaveConfigToFile, FileUse::Write, "Configuration saved to");
}

int RunLoadConfig(ToolContext& tool) {
    return RunWithSession(tool, LoadConfigFromFile, FileUse::Read, "Configuration loaded from");
}

int RunSaveSet(ToolContext& tool) { return RunWithSession(tool, SaveConfigSet, FileUse::Write, nullptr); }

int RunLoadSet(ToolContext& tool) { return RunWithSession(tool, LoadConfigSet, FileUse::Read, nullptr); }

int RunInspect(const ToolOptions& options, FILE* out, FILE* err) {
    const std::string& path = options.args[0];
    std::string contents;
    std::string why;
    if (!ReadWholeFile(path, contents, kMaxReadFileBytes, &why)) {
        PrintError(err, path, kTextCannotReadFile, why);
        return kExitFailure;
    }
    // The listing, and the very check a load makes before sending anything.
    const DescribedFile d = DescribeConfigFile(contents);
    const std::string& message = d.error;

    if (options.json)
        std::fprintf(out, "%s\n", FileJson(path, d, message).c_str());
    else
        PrintFile(out, path, d);
    if (!message.empty()) {
        PrintError(err, path, message);   // the message may name an item's code from the file
        return kExitFailure;
    }
    return kExitSuccess;
}
