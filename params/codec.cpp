// Conversions between reply text, stored values and page controls.
#include "params/codec.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "link/frame.h"
#include "link/locks.h"
#include "link/unit_events.h"
#include "link/remote_control.h"
#include "link/requests.h"
#include "params/lamps.h"
#include "params/poll_sample.h"
#include "platform/numbers.h"

// ---- Text conversions -------------------------------------------------------

std::string TrimZerosText(const std::string& text) {
    std::string out = text;
    while (out.size() >= 2 && out[0] == '0' && out[1] != '.') out.erase(0, 1);
    if (out.find('.') != std::string::npos) {
        bool dropped = false;
        while (!out.empty() && out.back() == '0') {
            out.pop_back();
            dropped = true;
        }
        if (dropped && !out.empty() && out.back() == '.') out.push_back('0');
    }
    return out;
}

std::string GhzTextToMhz(const std::string& ghz) { return FormatFixed(LeadingDouble(ghz) * 1000.0, 3); }

std::string MhzTextToGhz(const std::string& mhz) { return FormatFixed(LeadingDouble(mhz) / 1000.0, 6); }

std::optional<double> OperatorFrequencyMhz(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsAsciiSpace(text[begin])) ++begin;
    while (end > begin && IsAsciiSpace(text[end - 1])) --end;
    const std::optional<double> mhz = ParseDecimal(std::string_view(text).substr(begin, end - begin));
    if (!mhz || *mhz < 0.0) return std::nullopt;
    return mhz;
}

int64_t DecimalValue(const std::string& text) { return LeadingInteger(text); }

std::string HexVersionText(const std::string& decimal) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(static_cast<uint32_t>(DecimalValue(decimal))));
    return buffer;
}

uint32_t ParseIpText(const std::string& text) {
    size_t dots[3];
    size_t from = 0;
    for (size_t& dot : dots) {
        dot = text.find('.', from);
        if (dot == std::string::npos) return 0;
        from = dot + 1;
    }
    auto part = [&](size_t begin, size_t end) {
        return static_cast<uint32_t>(DecimalValue(text.substr(begin, end - begin))) & 0xFF;
    };
    return (part(0, dots[0]) << 24) | (part(dots[0] + 1, dots[1]) << 16) | (part(dots[1] + 1, dots[2]) << 8) |
           part(dots[2] + 1, text.size());
}

std::string FormatIp(uint32_t address) {
    char buffer[20];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return buffer;
}

// ---- Frames -------------------------------------------------------------------

ResultCode ExchangeLocked(CFerritRemoteControl& link, const std::string& request, std::string* reply) {
    UnitReply answer = link.Exchange(request);
    if (!answer.Answered()) return answer.result;
    if (answer.status != '1') return kUnitRefused;
    if (reply != nullptr) *reply = std::move(answer.data);
    return kResultOk;
}

ResultCode ReadValueLocked(CFerritRemoteControl& link, int unitAddress, const char* code, std::string& reply) {
    const ResultCode result = ExchangeLocked(link, BuildReadRequest(unitAddress, code), &reply);
    if (result == kResultOk && reply.empty()) return kUnitRefused;
    return result;
}

// ---- StoreReplyValue ------------------------------------------------------------

void StoreReplyValue(UnitState& unit, std::string& reply, const ParamEntry& row) {
    if (reply.empty()) return;   // an empty field is no value
    ValueSlot& slot = unit.Slot(row);
    std::lock_guard<std::mutex> guard(slot.lock);
    ParamValue& value = slot.value;
    switch (row.kind) {
    case ParamKind::Text:
        if (row.Has(ParamFlags::HexVersion)) reply = HexVersionText(reply);
        if (row.Has(ParamFlags::FreqGhz)) reply = GhzTextToMhz(reply);
        if (row.Has(ParamFlags::TrimZeros)) reply = TrimZerosText(reply);
        value.has = true;
        value.text = reply;
        break;
    case ParamKind::OptionList:
    case ParamKind::OptionText: {
        int index = ComboIndexFromOptionNumber(row.options, DecimalValue(reply));
        if (index >= 0) {
            value.has = true;
            value.number = index;
        }
        break;
    }
    case ParamKind::IpAddress:
        value.has = true;
        value.number = ParseIpText(reply);
        break;
    case ParamKind::ModelToken:
        // Kept as text too: with the serial number it tells one unit from another.
        value.has = true;
        value.text = reply;
        unit.modelFlag = reply == "K840" ? 1 : 0;
        break;
    case ParamKind::RadioPair:
        value.has = true;
        value.number = DecimalValue(reply);
        break;
    }
}

// ---- Pages ------------------------------------------------------------------------

namespace {

bool PageHas(const IPage* page, int32_t id) { return page != nullptr && id != 0 && page->HasControl(id); }

void ShowValueOn(const ParamEntry& row, const ParamValue& value, IPage* page) {
    if (!PageHas(page, row.controlId)) return;
    const int32_t id = row.controlId;
    switch (row.kind) {
    case ParamKind::Text:
        page->SetText(id, value.text);
        break;
    case ParamKind::OptionList:
        page->Select(id, static_cast<int>(value.number));
        break;
    case ParamKind::IpAddress:
        page->SetIp(id, static_cast<uint32_t>(value.number));
        break;
    case ParamKind::OptionText: {
        const char* text = OptionTextAtComboIndex(row.options, value.number);
        page->SetText(id, text != nullptr ? text : "");
        break;
    }
    case ParamKind::RadioPair:
        page->Check(id, value.number == 0);
        if (PageHas(page, row.secondaryId)) page->Check(row.secondaryId, value.number != 0);
        break;
    case ParamKind::ModelToken:
        break;
    }
}

// With the chaining input selected the live column's tuning controls are locked.
void ApplyInputSelection(const UnitState& unit, int64_t radioValue, IPage* page) {
    if (page == nullptr) return;
    const int32_t column = unit.demodMode.load();
    for (const ModeColumnControl& control : ModeColumnControls) {
        if (control.column != column || !page->HasControl(control.controlId)) continue;
        if (control.controlKind == 1)
            page->Enable(control.controlId, radioValue == 0);
        else
            page->SetReadOnly(control.controlId, radioValue != 0);
    }
}

void ShowOrHide(const ParamEntry& row, IPage* page, bool shown) {
    if (PageHas(page, row.controlId)) page->Show(row.controlId, shown);
    if (PageHas(page, row.secondaryId)) page->Show(row.secondaryId, shown);
}

}  // namespace

void SetupPageControls(IPage& page, const ParamEntry* table) {
    for (const ParamEntry* row = table; row != nullptr && row->code != nullptr; ++row) {
        if (!PageHas(&page, row->controlId)) continue;
        if (row->writable) {
            page.Enable(row->controlId, true);
            if (row->kind == ParamKind::RadioPair && PageHas(&page, row->secondaryId))
                page.Enable(row->secondaryId, true);
        } else if (row->kind == ParamKind::Text || row->kind == ParamKind::OptionText) {
            page.SetReadOnly(row->controlId, true);
        } else {
            page.Enable(row->controlId, false);
        }
        if (row->kind == ParamKind::OptionList)
            for (int i = 0; row->options != nullptr && row->options[i] != nullptr; ++i)
                if (!IsPlaceholderOption(row->options[i])) page.AddItem(row->controlId, row->options[i]);
    }
}

namespace {

void ClearValueOn(const ParamEntry& row, IPage* page) {
    if (!PageHas(page, row.controlId)) return;
    switch (row.kind) {
    case ParamKind::Text:
    case ParamKind::OptionText:
        page->SetText(row.controlId, "");
        break;
    case ParamKind::OptionList:
        page->Select(row.controlId, -1);
        break;
    case ParamKind::IpAddress:
        page->SetIp(row.controlId, 0);
        break;
    case ParamKind::RadioPair:
    case ParamKind::ModelToken:
        break;
    }
}

}  // namespace

void ShowStoredValue(const UnitState& unit, const ParamEntry& row, IPage& page, IPage* secondPage) {
    const ParamValue value = ReadParamValue(unit, row);
    if (!value.has) return;
    ShowValueOn(row, value, &page);
    ShowValueOn(row, value, secondPage);
}

namespace {
// Whether the operator changed the row's control on `page` and has not sent it.
bool EditedOnPage(const UnitState& unit, const ParamEntry& row, const IPage* page);
// Whether the operator chose another downconverter on `page` and has not sent it.
bool DownconverterEdited(const UnitState& unit, const IPage& page);

// Rows in a row that get no reply at all before the unit is taken as gone
// for the rest of a read: each further row would cost the link's whole
// time-out while the window waits.
constexpr int kSilentRowsUntilGone = 3;

int CountedRows(const ParamEntry* row) {
    int n = 0;
    for (; row != nullptr && row->code != nullptr; ++row)
        if (!row->Has(ParamFlags::HideIfAbsent)) ++n;
    return n;
}
}  // namespace

void ForgetTableValues(UnitState& unit, const ParamEntry* table, IPage* page, IPage* secondPage) {
    for (const ParamEntry* row = table; row != nullptr && row->code != nullptr; ++row) {
        // What the operator typed and has not sent stays, and still counts as
        // typed against no stored value.
        const bool editedOnPage = EditedOnPage(unit, *row, page);
        const bool editedOnSecond = EditedOnPage(unit, *row, secondPage);
        StoreParamValue(unit, *row, ParamValue{});
        if (!editedOnPage) ClearValueOn(*row, page);
        if (!editedOnSecond) ClearValueOn(*row, secondPage);
    }
}

int ReadTableToPage(UnitState& unit, CFerritRemoteControl& link, IPage& page, const ParamEntry* table,
                    int unitAddress, IPage* secondPage, bool keepEdits, RowReading reading) {
    int unanswered = 0;
    int silentRows = 0;
    // The lamp reads of this table, for the lamp rule; the lock value carried
    // into it is the last one read, as its row stores it.
    PollSample lampReads;
    lampReads.connected = true;
    if (const ParamEntry* lockRow = FindParam(table, kPollPlan[kColDemodLock].code)) {
        const ParamValue lock = ReadParamValue(unit, *lockRow);
        if (lock.has) lampReads.lampsBefore.lockValue = lock.number;
    }
    const bool keepDownconverter = keepEdits && DownconverterEdited(unit, page);
    for (const ParamEntry* row = table; row != nullptr && row->code != nullptr; ++row) {
        // Looked at before the reply replaces the stored value it is compared with.
        IPage* const shownOn = keepEdits && EditedOnPage(unit, *row, &page) ? nullptr : &page;
        IPage* const shownOnSecond = keepEdits && EditedOnPage(unit, *row, secondPage) ? nullptr : secondPage;
        std::string reply;
        const ResultCode result = ReadValueLocked(link, unitAddress, row->code, reply);
        if (result != kResultOk) {
            if (!row->Has(ParamFlags::HideIfAbsent)) {
                ++unanswered;
                if (reading == RowReading::UntilUnanswered) break;
                silentRows = MeansNoReply(result) ? silentRows + 1 : 0;
                if (silentRows == kSilentRowsUntilGone) {
                    // The rows not read count as unanswered; the controls keep what they show.
                    unanswered += CountedRows(row + 1);
                    break;
                }
            }
            // No connection at all says nothing about the unit's inputs.
            if (row->Has(ParamFlags::HideIfAbsent) && result != kErrNoConnection) {
                ShowOrHide(*row, &page, false);
                ShowOrHide(*row, secondPage, false);
            }
            continue;
        }
        silentRows = 0;
        if (const int column = SampleColumnOfCode(row->code); LampOfColumn(column))
            lampReads.values[column] = reply;
        StoreReplyValue(unit, reply, *row);
        if (row->Has(ParamFlags::Graphed)) page.GraphSample(*row);
        if (row->Has(ParamFlags::HideIfAbsent)) {
            ShowOrHide(*row, &page, true);
            ShowOrHide(*row, secondPage, true);
        }
        const ParamValue value = ReadParamValue(unit, *row);
        if (value.has) {
            ShowValueOn(*row, value, shownOn);
            ShowValueOn(*row, value, shownOnSecond);
            if (row->kind == ParamKind::RadioPair) {
                ApplyInputSelection(unit, value.number, &page);
                ApplyInputSelection(unit, value.number, secondPage);
            }
        }
        if (row->Has(ParamFlags::LoSide) && value.has) unit.loSide = static_cast<int32_t>(value.number);
        if (row->Has(ParamFlags::LoFrequency) && value.has) {
            unit.loFrequencyMhz = LeadingDouble(value.text);
            if (page.HasControl(kDownconverterControlId)) {
                const int index = DetectDownconverter(unit.loFrequencyMhz.load(), unit.loSide.load());
                unit.downconverterIndex = index;
                if (!keepDownconverter) page.Select(kDownconverterControlId, index);
            }
        }
    }
    // The lamps this table's reads set, by the lamp rule.
    const Lamps lamps = SampleLamps(lampReads);
    for (int column = 0; column < kSampleColumnCount; ++column) {
        const std::optional<Lamp> lamp = LampOfColumn(column);
        if (lamp && !lampReads.values[column].empty()) page.LampChanged(*lamp, lamps.Of(*lamp));
    }
    return unanswered;
}

// ---- Writing ------------------------------------------------------------------------

TypedInput TextRowInput(const ParamEntry& row, const std::string& typed) {
    if (row.Has(ParamFlags::FreqGhz)) {
        // Empty or not a number would retune the unit to 0 GHz.
        const std::optional<double> mhz = OperatorFrequencyMhz(typed);
        if (!mhz) return {true, kInvalidFrequencyMessage};
        return {false, FormatFixed(*mhz / 1000.0, 6)};
    }
    if (HasUnsafeRequestByte(typed)) return {true, kInvalidTextMessage};
    return {false, typed};
}

namespace {

enum class Change { None, Write, Refused };

// What the page asks of a row: nothing (its control holds the stored value),
// a write of `data`, or a refusal of text that must not reach the unit, with
// the operator's message in `data`.
Change ChangedData(const UnitState& unit, const ParamEntry& row, const IPage& page, std::string& data) {
    const int32_t id = row.controlId;
    const ValueSlot& slot = unit.Slot(row);
    std::lock_guard<std::mutex> guard(slot.lock);
    const ParamValue& stored = slot.value;
    switch (row.kind) {
    case ParamKind::Text: {
        const std::string text = page.GetText(id);
        if (stored.has && text == stored.text) return Change::None;
        // A row never read whose control is empty holds nothing to write.
        if (!stored.has && text.empty()) return Change::None;
        TypedInput input = TextRowInput(row, text);
        data = std::move(input.text);
        return input.refused ? Change::Refused : Change::Write;
    }
    case ParamKind::OptionList: {
        const int selection = page.GetSelection(id);
        if (selection < 0) return Change::None;  // an empty selection is never written
        if (stored.has && selection == stored.number) return Change::None;
        const int number = OptionNumberFromComboIndex(row.options, selection);
        if (number < 0) return Change::None;
        data = std::to_string(number);
        return Change::Write;
    }
    case ParamKind::IpAddress: {
        // A box left empty or holding a number over 255 is refused, never
        // sent as some other address; an empty control never read is no change.
        const int filled = page.IpFilledFields(id);
        if (filled == 0 && !stored.has) return Change::None;
        if (filled != 4) {
            data = kInvalidIpMessage;
            return Change::Refused;
        }
        const uint32_t address = page.GetIp(id);
        if (stored.has && address == static_cast<uint32_t>(stored.number)) return Change::None;
        data = FormatIp(address);
        return Change::Write;
    }
    default:
        return Change::None;
    }
}

// The rows of a table that the page may write: writable, with a control here.
// Status values are the unit's to report, never the page's to write.
bool PageWrites(const ParamEntry& row, const IPage& page) {
    return row.writable && PageHas(&page, row.controlId);
}

bool EditedOnPage(const UnitState& unit, const ParamEntry& row, const IPage* page) {
    if (page == nullptr || !PageWrites(row, *page)) return false;
    std::string data;
    return ChangedData(unit, row, *page, data) != Change::None;
}

bool DownconverterEdited(const UnitState& unit, const IPage& page) {
    if (!page.HasControl(kDownconverterControlId)) return false;
    const int selection = page.GetSelection(kDownconverterControlId);
    return selection >= 0 && selection < kDownconverterUnknown && selection != unit.downconverterIndex.load();
}

// A write that the link refused to frame never reached the unit.
bool WasSent(ResultCode result) { return result != kErrInvalidCommand && result != kErrNoConnection; }

}  // namespace

std::string RefusedPageInput(const UnitState& unit, const IPage& page,
                             std::initializer_list<const ParamEntry*> tables) {
    for (const ParamEntry* table : tables) {
        for (const ParamEntry* row = table; row != nullptr && row->code != nullptr; ++row) {
            if (!PageWrites(*row, page)) continue;
            std::string data;
            if (ChangedData(unit, *row, page, data) == Change::Refused) return data;
        }
    }
    return {};
}

int WriteChangedFromPage(const UnitState& unit, CFerritRemoteControl& link, IPage& page, const ParamEntry* table,
                         int unitAddress) {
    int count = 0;
    for (const ParamEntry* row = table; row != nullptr && row->code != nullptr; ++row) {
        if (!PageWrites(*row, page)) continue;
        std::string data;
        // Refused text is never sent; callers tell the operator before writing.
        if (ChangedData(unit, *row, page, data) != Change::Write) continue;
        const ResultCode result = ExchangeLocked(link, BuildWriteRequest(unitAddress, row->code, data), nullptr);
        if (WasSent(result) && count < 255) ++count;
    }

    if (page.HasControl(kDownconverterControlId)) {
        const int selection = page.GetSelection(kDownconverterControlId);
        if (selection >= 0 && selection < kDownconverterUnknown && selection != unit.downconverterIndex.load()) {
            const Downconverter& choice = DownconverterList[selection];
            LinkGuard guard(link.LinkMutex());
            const ResultCode side =
                ExchangeLocked(link, LoSideRequest(unitAddress, std::to_string(choice.loSide)), nullptr);
            ExchangeLocked(link, LoFrequencyRequest(unitAddress, FormatFixed(choice.loGhz, 6)), nullptr);
            if (WasSent(side) && count < 255) ++count;
        }
    }
    return count;
}

// ---- Configuration items ---------------------------------------------------------------

namespace {

void AppendLe32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

void SerializeTable(const UnitState& unit, const ParamEntry* table, std::string& out) {
    for (const ParamEntry* row = table; row != nullptr && row->code != nullptr; ++row) {
        if (!row->writable || row->Has(ParamFlags::NotSaved)) continue;
        const ValueSlot& slot = unit.Slot(*row);
        std::lock_guard<std::mutex> guard(slot.lock);
        const ParamValue& stored = slot.value;
        if (!stored.has) continue;
        std::string item(row->code, 4);
        item.push_back(static_cast<char>(row->kind));
        switch (row->kind) {
        case ParamKind::Text: {
            std::string text = stored.text;
            if (row->Has(ParamFlags::FreqGhz))
                text = MhzTextToGhz(text);
            else if (row->Has(ParamFlags::Doubled))
                text = FormatFixed(LeadingDouble(text) * 2.0, 0);
            AppendLe32(item, static_cast<uint32_t>(text.size()));
            item += text;
            break;
        }
        case ParamKind::OptionList: {
            const int number = OptionNumberFromComboIndex(row->options, stored.number);
            if (number < 0) continue;
            AppendLe32(item, static_cast<uint32_t>(number));
            break;
        }
        case ParamKind::IpAddress:
        case ParamKind::RadioPair:
            AppendLe32(item, static_cast<uint32_t>(stored.number));
            break;
        default:
            continue;
        }
        out += item;
    }
}
