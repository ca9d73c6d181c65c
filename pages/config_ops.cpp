// Save and load of configuration files and configuration sets, and restore
// defaults with the downconverter set-up.
#include "pages/config_ops.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/operator_texts.h"
#include "app/unit_session.h"
#include "link/locks.h"
#include "link/requests.h"
#include "link/unrequested.h"
#include "params/codec.h"
#include "params/page.h"
#include "params/control_ids.h"
#include "params/param_table.h"
#include "pages/config_file.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/program_folder.h"

const DownconverterDefaults kDownconverters[kDownconverterChoiceCount] = {
    {ids::restore_defaults::kUhf, "UHF", "0", "0", "0.650"},
    {ids::restore_defaults::kSquareQf01, "Square, L-Band (QF-01), 1.00 to 1.40GHz", "1", "1.700", "1.395"},
    {ids::restore_defaults::kSquareQf02, "Square, L-Band (QF-02), 1.68 to 1.85GHz", "0", "1.050", "1.765"},
    {ids::restore_defaults::kSquareQf03, "Square, S-Band (QF-03), 2.25 to 2.65GHz", "0", "1.880", "2.405"},
    {ids::restore_defaults::kBarrelQf04, "Barrel, L-Band (QF-04), 1.00 to 1.50GHz", "1", "1.800", "1.395"},
    {ids::restore_defaults::kBarrelQf05, "Barrel, L-Band (QF-05), 1.50 to 2.00GHz", "1", "2.300", "1.750"},
    {ids::restore_defaults::kBarrelQf06, "Barrel, S-Band (QF-06), 2.00 to 2.50GHz", "0", "1.700", "2.405"},
    {ids::restore_defaults::kBarrelQf07, "Barrel, S-Band (QF-07), 2.50 to 3.00GHz", "0", "2.150", "2.750"},
    {ids::restore_defaults::kBarrelQf08, "Barrel, 3GHz (QF-08), 3.00 to 3.50GHz", "0", "2.700", "3.250"},
    {ids::restore_defaults::kBarrelQf09, "Barrel, C-Band (QF-09), 4.50 to 5.00GHz", "0", "4.200", "4.750"},
    {ids::restore_defaults::kBarrelQf10, "Barrel, C-Band (QF-10), 5.50 to 6.00GHz", "0", "5.200", "5.750"},
    {ids::restore_defaults::kQf20, "8GHz (QF-20), 8.10 to 8.60GHz", "0", "7.750", "8.400"},
};

const DownconverterDefaults* FindDownconverter(int radioId) {
    for (const auto& row : kDownconverters)
        if (row.radioId == radioId) return &row;
    return nullptr;
}

namespace {

constexpr uint32_t kSlotLoadWaitMs = 1000;
constexpr int kSlots = 8;

bool IsK840(CUnitSession& session) { return session.Unit().modelFlag.load() != 0; }

// Whether a file can be created beside `path` (and `path` is no folder), so
// that an operation that will end in writing it can refuse before it starts.
bool CanWriteFile(const std::string& path) {
    if (KindOfPath(path) == PathKind::Folder) return false;
    return CanCreateFileBeside(path);
}

// Holds the link's poll gate and keeps the action buttons disabled for its length.
class BusyScope {
public:
    explicit BusyScope(CUnitSession& session) : view_(session.View()), gate_(session.Link().PollGate()) {
        view_.EnableActionButtons(false);
    }
    ~BusyScope() { view_.EnableActionButtons(true); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    IUnitView& view_;
    LinkGuard gate_;
};

// Slot stores and loads; a refusal ('E') counts as a failure.
ResultCode StoreSlot(CUnitSession& s, int slot) {
    return ExchangeLocked(s.Link(), StoreSlotRequest(s.unitAddress, slot), nullptr);
}
ResultCode LoadSlot(CUnitSession& s, int slot) {
    return ExchangeLocked(s.Link(), LoadSlotRequest(s.unitAddress, slot), nullptr);
}

// Reads the unit's mode into `mode`; `mode` is untouched on failure.
ResultCode ReadUnitMode(CUnitSession& s, int& mode) {
    std::string reply;
    const ResultCode result = ExchangeLocked(s.Link(), DemodModeReadRequest(s.unitAddress), &reply);
    if (result == kResultOk) mode = static_cast<int>(DecimalValue(reply));
    return result;
}

std::string WithResult(const char* format, ResultCode result) {
    char text[96];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(result));
    return text;
}
std::string WithSlot(const char* format, int slot) {
    char text[96];
    std::snprintf(text, sizeof text, format, slot);
    return text;
}

}  // namespace

namespace {

// A read or a mode change during a save went unanswered: nothing is written.
constexpr char kReadFailed[] = "Unable to read config from demod";
// A file that cannot be written, or one with an item that cannot be sent.
constexpr const char* kCannotWrite = kTextCannotWriteFile;
constexpr char kInvalidItem[] = "Invalid item in file";
// The unit's mode could not be read or set while a file was sent.
constexpr char kModeReadFailed[] = "Error 0x%08x reading demod mode";
constexpr char kModeWriteFailed[] = "Error 0x%08x setting demod mode";
constexpr char kSlotStoreFailed[] = "Unable to save config %d";
constexpr char kSlotLoadFailed[] = "Unable to switch config";
constexpr char kRestoreFailed[] = "Unable to restore defaults";

// An item the unit did not take.
std::string NotSent(const std::string& code) { return "Unable to send item (" + code + ") to demod"; }

// What a save says when a value read from the unit could not be sent back.
std::string InvalidFromUnit(const ConfigFileCheck& check) {
    if (check.code.empty()) return "Invalid config returned from demod";
    return "Invalid item (" + check.code + ") returned from demod";
}

// Reads a configuration or set file and checks all of it; says why not.
bool ReadCheckedFile(CUnitSession& session, const std::string& path, ConfigFileKind kind, int records,
                     std::string& file) {
    if (!ReadWholeFile(path, file)) {
        session.Error(kTextCannotReadFile);
        return false;
    }
    const ConfigFileCheck check = CheckConfigFile(file, kind, static_cast<uint32_t>(records));
    if (!check.ok) {
        session.Error(check.message);
        return false;
    }
    return true;
}

// Reads slot, mode and both tables of the mode afresh; true when the unit
// answered every read.
bool ReadWholeConfig(CUnitSession& session) {
    return session.ReadUnitConfig(false, false, RowReading::UntilUnanswered) && session.unansweredRows == 0;
}

// Applies the record at `cursor` (its type and slot not yet read). Empty when
// the unit took all of it, otherwise what to tell the operator.
std::string ApplyRecord(CUnitSession& session, ConfigCursor& cursor, int mode) {
    uint32_t ignoredSlot = 0;
    if (!cursor.ReadRecordStart() || !cursor.ReadU32(ignoredSlot)) return kInvalidItem;
    RecordFailure failure;
    switch (WriteRecordsFromFile(session.Unit(), session.Link(), session.unitAddress, cursor, mode, &failure)) {
    case RecordApply::Done:
        return {};
    case RecordApply::NotTaken:
        if (failure.code == "gudm") return WithResult(kModeWriteFailed, failure.result);
        return NotSent(failure.code);
    case RecordApply::EndOfFile:
    case RecordApply::InvalidItem:
        break;
    }
    return kInvalidItem;
}

}  // namespace

bool SaveConfigToFile(CUnitSession& session, const std::string& path) {
    IUnitView& view = session.View();
    if (!view.UnitConnected()) {
        session.Error(kTextNoConnection);
        return false;
    }
    BusyScope busy(session);
    if (!CanWriteFile(path)) {
        session.Error(kCannotWrite);
        return false;
    }
    // The first record holds the values of the last read of the unit: when
    // that read left rows unanswered, the record would be incomplete, and
    // when the unit sent replies unasked, its values may be shifted.
    if (session.unansweredRows != 0) {
        session.Error(kReadFailed);
        return false;
    }
    if (session.readShifted) {
        session.Error(kTextUnrequestedReplies);
        return false;
    }
    UnrequestedWatch watch(session.Link());
    const int records = IsK840(session) ? 1 : 2;
    const int startMode = session.pageMode;
    if (records == 2 && startMode != 0 && startMode != 1) {
        session.Error("Invalid item (gudm) returned from demod");
        return false;
    }
    int mode = startMode;
    bool answered = true;
    std::string image;
    BeginConfigFile(image, static_cast<uint32_t>(records));
    for (int r = 0; r < records && answered; ++r) {
        AppendConfigRecord(session.Unit(), image, session.currentConfig, mode);
        if (records == 2) {
            // Visit the other mode (and come back after the second record).
            mode = 1 - mode;
            answered = session.Transact(DemodModeRequest(session.unitAddress, mode)) == kResultOk;
            if (answered) session.WaitForRestart();
            if (answered && r == 0) {
                // The other mode's values come fresh from the unit, not from
                // whatever its table held since its last read.
                NoControlsPage page;
                answered = ReadTableToPage(session.Unit(), session.Link(), page, DemodTableForMode(mode),
                                           session.unitAddress, nullptr, false, RowReading::UntilUnanswered) == 0;
                if (!answered) {
                    // Leave the unit in the mode it was in, if it still listens.
                    if (session.Transact(DemodModeRequest(session.unitAddress, startMode)) == kResultOk)
                        session.WaitForRestart();
                }
            }
        }
    }
    if (!answered) {
        session.Error(kReadFailed);
        return false;
    }
    // A file is never written from a run the unit sent replies to unasked.
    if (!watch.Clean(UnrequestedWatch::Listen::Always)) {
        session.Error(kTextUnrequestedReplies);
        return false;
    }
    FinishConfigFile(image);
    // Every file written must load again: a value the unit gave that could
    // not be sent back refuses the save.
    const ConfigFileCheck check = CheckConfigFile(image, ConfigFileKind::Config, static_cast<uint32_t>(records));
    if (!check.ok) {
        session.Error(InvalidFromUnit(check));
        return false;
    }
    if (!ReplaceFileAtomically(path, image)) {
        session.Error(kCannotWrite);
        return false;
    }
    return true;
}

bool LoadConfigFromFile(CUnitSession& session, const std::string& path) {
    IUnitView& view = session.View();
    if (!view.UnitConnected()) {
        session.Error(kTextNoConnection);
        return false;
    }
    BusyScope busy(session);
    const int records = IsK840(session) ? 1 : 2;
    std::string file;
    // The whole file is checked before anything is sent.
    if (!ReadCheckedFile(session, path, ConfigFileKind::Config, records, file)) return false;
    // Every exchange must be taken: a load the unit half took is a failure.
    UnrequestedWatch watch(session.Link());
    int mode = session.pageMode;
    ConfigCursor cursor(file);
    for (int r = 0; r < records; ++r) {
        const std::string failed = ApplyRecord(session, cursor, mode);
        if (!failed.empty()) {
            session.Error(failed);
            return false;
        }
        if (const ResultCode result = ReadUnitMode(session, mode); result != kResultOk) {
            session.Error(WithResult(kModeReadFailed, result));
            return false;
        }
    }
    if (records == 2 && mode != session.pageMode) {
        const ResultCode result =
            ExchangeLocked(session.Link(), DemodModeRequest(session.unitAddress, session.pageMode), nullptr);
        if (result != kResultOk) {
            session.Error(WithResult(kModeWriteFailed, result));
            return false;
        }
        session.WaitForRestart();
    }
    // Replies taken one exchange late may have hidden a refusal.
    const bool clean = watch.Clean();
    session.ReadUnitConfig(true);
    if (!clean) session.Error(kTextUnrequestedReplies);
    return clean;
}

bool SaveConfigSet(CUnitSession& session, const std::string& path) {
    IUnitView& view = session.View();
    BusyScope busy(session);
    if (!CanWriteFile(path)) {
        session.Error(kCannotWrite);
        return false;
    }
    const int total = IsK840(session) ? kSlots : 2 * kSlots;
    const int passes = total / kSlots;
    UnrequestedWatch watch(session.Link());
    std::string image;
    image.reserve(16384);
    BeginConfigFile(image, static_cast<uint32_t>(total));
    view.ShowPleaseWait("Please wait while configs are read and saved...", total + 2);
    view.SetPleaseWaitProgress(0);
    // Nothing has been written when the walk stops: any earlier file stays.
    auto stop = [&](const std::string& message) {
        view.HidePleaseWait();
        session.Error(message);
        return false;
    };
    int prev = session.currentConfig;
    int written = 0;
    int lastMode = session.pageMode;
    for (int pass = 0; pass < passes; ++pass) {
        for (int slot = 1; slot <= kSlots; ++slot) {
            // Right after the switch to the second mode there is nothing of
            // this walk to store: the unit runs that mode's own last slot, and
            // storing it as slot 8 would overwrite what slot 8 of that mode holds.
            if (prev != 0) StoreSlot(session, prev);
            if (LoadSlot(session, slot) != kResultOk) return stop(kSlotLoadFailed);
            FixedWait(kSlotLoadWaitMs);
            if (!ReadWholeConfig(session)) return stop(kReadFailed);
            lastMode = session.pageMode;
            AppendConfigRecord(session.Unit(), image, slot, lastMode);
            ++written;
            prev = slot;
            view.SetPleaseWaitProgress(written);
        }
        if (passes == 2) {
            if (session.Transact(DemodModeRequest(session.unitAddress, 1 - lastMode)) != kResultOk)
                return stop(kReadFailed);
            session.WaitForRestart();
            // After the first pass; after the second the unit is back in the
            // first mode on its slot 8, which the closing store keeps as it is.
            if (pass == 0) prev = 0;
        }
    }
    FinishConfigFile(image);
    const ConfigFileCheck check = CheckConfigFile(image, ConfigFileKind::Set, static_cast<uint32_t>(total));
    // A file is never written from a run the unit sent replies to unasked.
    const bool clean = watch.Clean(UnrequestedWatch::Listen::Always);
    const bool saved = clean && check.ok && ReplaceFileAtomically(path, image);
    StoreSlot(session, prev);
    LoadSlot(session, 1);
    FixedWait(kSlotLoadWaitMs);
    view.SetPleaseWaitProgress(written + 1);
    session.ReadUnitConfig(true);
    view.SetPleaseWaitProgress(written + 2);
    view.HidePleaseWait();
    if (!clean) {
        session.Error(kTextUnrequestedReplies);
        return false;
    }
    if (!check.ok) {
        session.Error(InvalidFromUnit(check));
        return false;
    }
    if (!saved) {
        session.Error(kCannotWrite);
        return false;
    }
    session.Alert("Config set saved");
    return true;
}

bool LoadConfigSet(CUnitSession& session, const std::string& path) {
    IUnitView& view = session.View();
    BusyScope busy(session);
    const int total = IsK840(session) ? kSlots : 2 * kSlots;
    const int passes = total / kSlots;
    std::string file;
    // The whole file is checked before anything is sent.
    if (!ReadCheckedFile(session, path, ConfigFileKind::Set, total, file)) return false;
    view.ShowPleaseWait("Please wait while configs are read and sent...", total + 1);
    view.SetPleaseWaitProgress(0);
    // Every store, load, mode read and item must be taken by the unit: a
    // record applied to the wrong slot or mode, or not stored, would leave the
    // unit different from the file. The walk stops at the first failure and
    // says so; the slots stored before it keep what was sent.
    auto stop = [&](const std::string& message) {
        view.HidePleaseWait();
        session.Error(message);
        return false;
    };
    UnrequestedWatch watch(session.Link());
    int prev = session.currentConfig;
    int sent = 0;
    ConfigCursor cursor(file);
    for (int pass = 0; pass < passes; ++pass) {
        for (int slot = 1; slot <= kSlots; ++slot) {
            if (StoreSlot(session, prev) != kResultOk) return stop(WithSlot(kSlotStoreFailed, prev));
            if (LoadSlot(session, slot) != kResultOk) return stop(kSlotLoadFailed);
            FixedWait(kSlotLoadWaitMs);
            int mode = -1;
            if (const ResultCode result = ReadUnitMode(session, mode); result != kResultOk)
                return stop(WithResult(kModeReadFailed, result));
            const int known = session.Unit().demodMode.load();
            if (mode != known && known != -1) session.WaitForRestart();
            session.pageMode = mode;
            session.Unit().demodMode = mode;
            if (const std::string failed = ApplyRecord(session, cursor, mode); !failed.empty()) return stop(failed);
            ++sent;
            prev = slot;
            view.SetPleaseWaitProgress(sent);
        }
    }
    if (StoreSlot(session, prev) != kResultOk) return stop(WithSlot(kSlotStoreFailed, prev));
    if (LoadSlot(session, 1) != kResultOk) return stop(kSlotLoadFailed);
    FixedWait(kSlotLoadWaitMs);
    view.SetPleaseWaitProgress(sent + 1);
    // Replies taken one exchange late may have hidden a refusal.
    if (!watch.Clean()) return stop(kTextUnrequestedReplies);
    view.HidePleaseWait();
    session.ReadUnitConfig(true);
    session.Alert("Config set loaded");
    return true;
}

bool RestoreDefaults(CUnitSession& session, int radioId) {
    const DownconverterDefaults* choice = FindDownconverter(radioId);
    if (!choice) return false;
    BusyScope busy(session);
    // Every step is sent whatever the one before returned; the first that the
    // unit did not take is what the operator is told at the end.
    std::string failed;
    auto note = [&failed](ResultCode result, const std::string& message) {
        if (result != kResultOk && failed.empty()) failed = message;
    };
    UnrequestedWatch watch(session.Link());
    note(session.Transact(RestoreDefaultsRequest(session.unitAddress)), kRestoreFailed);
    session.WaitForRestart();
    int prev = session.currentConfig;
    const int passes = IsK840(session) ? 1 : 2;
    struct Write {
        const char* code;
        std::string (*request)(int, std::string_view);
        const char* value;
    };
    const Write writes[] = {{"1los", LoSideRequest, choice->loSide},
                            {"1dco", LoFrequencyRequest, choice->loFrequency},
                            {"1ipf", InputFrequencyRequest, choice->inputFrequency}};
    for (int pass = 0; pass < passes; ++pass) {
        for (int slot = 1; slot <= kSlots; ++slot) {
            note(StoreSlot(session, prev), WithSlot(kSlotStoreFailed, prev));
            note(LoadSlot(session, slot), kSlotLoadFailed);
            FixedWait(kSlotLoadWaitMs);
            for (const Write& write : writes)
                note(session.Transact(write.request(session.unitAddress, write.value)), NotSent(write.code));
            prev = slot;
        }
    }
    note(StoreSlot(session, prev), WithSlot(kSlotStoreFailed, prev));
    note(LoadSlot(session, 1), kSlotLoadFailed);
    FixedWait(kSlotLoadWaitMs);
    if (!watch.Clean() && failed.empty()) failed = kTextUnrequestedReplies;
    session.ReadUnitConfig(true);
    if (failed.empty()) return true;
    session.Error(failed);
    return false;
}
