// Configuration slots, demodulator mode, simple page Apply/Refresh and the unit
// address: the main window's exchanges with the unit.
#include "app/unit_session.h"

#include <cstdio>

#include "app/operator_texts.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/frame.h"
#include "link/requests.h"
#include "link/unrequested.h"
#include "params/codec.h"
#include "params/page.h"
#include "params/param_table.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kSlotLoadWaitMs = 1000;
constexpr const char* kPleaseWaitMode = "Please wait while the unit changes mode...";

std::string Printf(const char* format, unsigned value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Printf(const char* format, int value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void ShowColumn(IPage* page, const ParamEntry* table, bool on, bool enableInsteadOfShow) {
    if (!page) return;
    for (const ParamEntry* row = table; row->code; ++row) {
        if (row->controlId == 0 || !page->HasControl(row->controlId)) continue;
        if (enableInsteadOfShow)
            page->Enable(row->controlId, on);
        else
            page->Show(row->controlId, on);
    }
}

void CheckModeRadios(IPage* page, int mode) {
    if (!page) return;
    if (page->HasControl(kIdRadioNarrowband)) page->Check(kIdRadioNarrowband, mode != 1);
    if (page->HasControl(kIdRadioDvbt)) page->Check(kIdRadioDvbt, mode == 1);
}

}  // namespace

void ApplyModeToPageControls(IPage* simple, IPage* full, int mode) {
    CheckModeRadios(simple, mode);
    CheckModeRadios(full, mode);
    ShowColumn(simple, DvbtDemodTable, mode == 1, false);
    ShowColumn(full, DvbtDemodTable, mode == 1, true);
    ShowColumn(simple, NarrowbandDemodTable, mode != 1, false);
    ShowColumn(full, NarrowbandDemodTable, mode != 1, true);
}

void IUnitView::ApplyModeToPages(int mode) { ApplyModeToPageControls(SimplePage(), FullPage(), mode); }

CUnitSession::CUnitSession(CFerritRemoteControl& link, UnitState& unit, IUnitView& view)
    : link_(link), unit_(unit), view_(view) {}


ResultCode CUnitSession::Transact(const std::string& request, std::string* data) {
    UnitReply reply = link_.Exchange(request);
    if (reply.Answered() && data != nullptr) *data = std::move(reply.data);
    return reply.result;
}

ResultCode CUnitSession::ProbeAddress(int& address) {
    std::string data;
    const ResultCode result = Transact(AnyUnitProbeRequest(), &data);
    if (result != kResultOk) return result;
    return ParseUnitAddress(data, address) ? kResultOk : kErrInvalidReply;
}

std::string CUnitSession::Request(const std::string& text) const { return AddressedRequest(unitAddress, text); }

void CUnitSession::WaitForRestart() { link_.WaitForRestart(); }

void CUnitSession::Error(const std::string& text) { view_.ShowMessage(text, kCaptionError, MessageIcon::Warning); }

void CUnitSession::Alert(const std::string& text) {
    view_.ShowMessage(text, kCaptionAlert, MessageIcon::Information);
}

bool CUnitSession::ReadUnitConfig(bool disableButtons, bool keepEdits, RowReading reading) {
    if (!view_.UnitConnected()) {
        Error(kTextNoConnection);
        return false;
    }
    if (disableButtons) view_.EnableActionButtons(false);
    bool ok = false;
    {
        LinkGuard gate(link_.PollGate());
        bool unrequested = false;
        ok = RunReadsWatched(link_, [&] { return ReadSlotModeAndTables(keepEdits, reading); }, unrequested);
        readShifted = unrequested;
        if (unrequested) Error(kTextUnrequestedReplies);
    }
    if (disableButtons) view_.EnableActionButtons(true);
    return ok;
}

bool CUnitSession::ReadSlotModeAndTables(bool keepEdits, RowReading reading) {
    unansweredRows = 0;
    std::string reply;
    ResultCode result = Transact(SlotInUseReadRequest(unitAddress), &reply);
    if (result != kResultOk) {
        Error(Printf("Error 0x%08x reading demod config", result));
        return false;
    }
    const int slot = static_cast<int>(DecimalValue(reply));
    if (slot < 1 || slot > 8) {
        Error(Printf("Invalid config number (%d) returned from demod", slot));
        return false;
    }
    view_.SetSlotHighlight(-1);
    view_.SelectSlotTab(slot - 1);
    currentConfig = slot;
    result = Transact(DemodModeReadRequest(unitAddress), &reply);
    if (result != kResultOk) {
        Error(Printf("Error 0x%08x reading demod mode", result));
        return false;
    }
    const int mode = static_cast<int>(DecimalValue(reply));
    const int known = unit_.demodMode.load();
    if (mode != known && known != -1) WaitForRestart();
    pageMode = mode;
    unit_.demodMode = mode;
    view_.ApplyModeToPages(mode);
    unansweredRows = ReadTablesToPages(mode, keepEdits, reading);
    const UnitIdentity read{ReadParamValue(unit_, *FindParam(DecoderTable, "gbty")).text,
                            ReadParamValue(unit_, *FindParam(DecoderTable, "gser")).text};
    if (read.Known()) identity = read;
    return true;
}

bool CUnitSession::ReadIdentity(UnitIdentity& out) {
    return Transact(BuildReadRequest(unitAddress, "gbty"), &out.model) == kResultOk &&
           Transact(BuildReadRequest(unitAddress, "gser"), &out.serial) == kResultOk;
}

void CUnitSession::UnitBack() {
    UnitIdentity now;
    const bool another = ReadIdentity(now) && identity.Known() && now != identity;
    if (another) {
        char text[512];
        std::snprintf(text, sizeof text, kTextAnotherUnit, identity.model.c_str(), identity.serial.c_str(),
                      now.model.c_str(), now.serial.c_str());
        Alert(text);
    }
    ReadUnitConfig(true, !another);
}

void CUnitSession::ForgetUnitValues() {
    for (const ParamEntry* table : {NarrowbandDemodTable, DvbtDemodTable, DecoderTable})
        ForgetTableValues(unit_, table, view_.SimplePage(), view_.FullPage());
}

int CUnitSession::ReadTablesToPages(int mode, bool keepEdits, RowReading reading) {
    LinkGuard gate(link_.PollGate());
    IPage* simple = view_.SimplePage();
    IPage* full = view_.FullPage();
    IPage* first = simple ? simple : full;
    IPage* second = simple ? full : nullptr;
    if (!first) return 0;
    int unanswered = 0;
    for (const ParamEntry* table : {DemodTableForMode(mode), DecoderTable}) {
        unanswered += ReadTableToPage(unit_, link_, *first, table, unitAddress, second, keepEdits, reading);
        if (unanswered != 0 && reading == RowReading::UntilUnanswered) break;
    }
    return unanswered;
}

bool CUnitSession::SwitchDemodMode(int mode) {
    if (!view_.UnitConnected()) {
        Error(kTextNoConnection);
        return false;
    }
    LinkGuard gate(link_.PollGate());
    const ResultCode result = Transact(DemodModeRequest(unitAddress, mode));
    if (result != kResultOk) {
        Error(Printf("Error 0x%08x setting demod mode", result));
        return false;
    }
    view_.ShowPleaseWait(kPleaseWaitMode, -1);
    WaitForRestart();
    ReadUnitConfig(true);
    view_.HidePleaseWait();
    return true;
}

bool CUnitSession::SaveConfigSlot() {
    view_.SetSlotHighlight(-1);
    if (!link_.IsConnected()) return true;
    if (Transact(StoreSlotRequest(unitAddress, currentConfig)) != kResultOk) {
        Error(Printf("Unable to save config %d", currentConfig));
        return false;
    }
    return true;
}

bool CUnitSession::LoadConfigSlot(int tab) {
    view_.SetSlotHighlight(tab);
    if (!link_.IsConnected()) return false;
    currentConfig = tab + 1;
    if (Transact(LoadSlotRequest(unitAddress, tab + 1)) != kResultOk) {
        Error(Printf("Unable to load config %d", tab + 1));
        return false;
    }
    FixedWait(kSlotLoadWaitMs);
    ReadUnitConfig(true);
    return true;
}

void CUnitSession::RefreshSimplePage() {
    if (!view_.UnitConnected()) {
        Error(kTextNoConnection);
        return;
    }
    ReadUnitConfig(true);
}

void CUnitSession::ApplySimplePage() {
    if (!view_.UnitConnected()) {
        Error(kTextNoConnection);
        return;
    }
    IPage* simple = view_.SimplePage();
    if (simple) {
        // The page's text is checked whole before anything is sent.
        const std::string refused = RefusedPageInput(unit_, *simple, {DemodTableForMode(pageMode), DecoderTable});
        if (!refused.empty()) {
            Error(refused);
            return;
        }
    }
    view_.EnableActionButtons(false);
    bool shifted = false;
    {
        LinkGuard gate(link_.PollGate());
        UnrequestedWatch watch(link_);
        IPage* full = view_.FullPage();
        if (simple) {
            for (const ParamEntry* table : {DemodTableForMode(pageMode), DecoderTable}) {
                if (WriteChangedFromPage(unit_, link_, *simple, table, unitAddress) != 0)
                    ReadTableToPage(unit_, link_, *simple, table, unitAddress, full);
            }
        }
        shifted = !watch.Clean();
    }
    view_.EnableActionButtons(true);
    if (shifted) {
        // A write's answer may have been another request's: the operator is
        // told, and the pages show what the unit holds now.
        Error(kTextUnrequestedReplies);
        ReadUnitConfig(true);
    }
}

void CUnitSession::SetUnitAddress(int address) {
    std::unique_lock<std::recursive_mutex> gate(link_.PollGate(), std::defer_lock);
    if (view_.UnitConnected()) {
        gate.lock();
        Transact(SetUnitAddressRequest(unitAddress, address));
    }
    unitAddress = address;
    view_.UnitAddressChanged(address);
}
