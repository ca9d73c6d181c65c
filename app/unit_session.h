// The main window's dealings with the unit's configuration slots and
// demodulator mode, free of any window system: reading the unit's
// configuration back, switching the mode, storing and loading slots, applying
// the simple page and changing the unit address. The desktop program drives it
// through a view made of its windows; the command-line tool through a console.
#pragma once
#include <cstdint>
#include <string>

#include "link/result_codes.h"
#include "params/codec.h"
#include "params/control_ids.h"
#include "params/unit_state.h"

class CFerritRemoteControl;
class IPage;

enum class MessageIcon { Warning, Information };

inline constexpr const char* kCaptionError = "Error";
inline constexpr const char* kCaptionAlert = "Alert";

// Control ids on the pages used by the mode handling.
inline constexpr int kIdRadioNarrowband = ids::unit_page::kNarrowband;
inline constexpr int kIdRadioDvbt = ids::unit_page::kDvbt;

// What the session needs from the windows.
class IUnitView {
public:
    virtual ~IUnitView() = default;

    // The window's view of the connection ("No connection currently" when false).
    virtual bool UnitConnected() const = 0;

    // Modal message box: errors "Error" + Warning, notices "Alert" + Information.
    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) = 0;

    // Enables or disables every button that starts an exchange with the unit.
    virtual void EnableActionButtons(bool enable) = 0;

    // Slot tabs, 0-based. SelectSlotTab selects and highlights a tab without
    // raising the selection notices. SetSlotHighlight(-1) removes the highlight.
    virtual void SelectSlotTab(int tab) = 0;
    virtual void SetSlotHighlight(int tab) = 0;

    // The pages read into: the simple page, and the full page while it is open.
    virtual IPage* SimplePage() = 0;
    virtual IPage* FullPage() = 0;

    // Checks the mode radio and shows (simple page) or enables (full page) the
    // live mode's column. The default does it through the pages' controls.
    virtual void ApplyModeToPages(int mode);

    // The "Please wait" window. progressMax < 0 hides the progress bar.
    virtual void ShowPleaseWait(const std::string& text, int progressMax) = 0;
    virtual void SetPleaseWaitProgress(int position) = 0;
    virtual void HidePleaseWait() = 0;

    // The unit address changed (the unit state's and the poll thread's copy).
    virtual void UnitAddressChanged(int address) { (void)address; }
};

// Shows/enables the columns and checks the radios of `mode` on both pages
// (either may be null): what ApplyModeToPages does by default.
void ApplyModeToPageControls(IPage* simple, IPage* full, int mode);

// Which unit the pages were read from: its model token and serial number.
struct UnitIdentity {
    std::string model;
    std::string serial;
    bool Known() const { return !model.empty() || !serial.empty(); }
    bool operator==(const UnitIdentity&) const = default;
};

class CUnitSession {
public:
    // The link and the state of the unit it reaches, both held by the caller.
    CUnitSession(CFerritRemoteControl& link, UnitState& unit, IUnitView& view);

    CFerritRemoteControl& Link() { return link_; }
    UnitState& Unit() { return unit_; }
    IUnitView& View() { return view_; }

    // State of the main window.
    int unitAddress = 1;
    int currentConfig = -1;     // slot 1..8, -1 while unknown
    int pageMode = 0;           // the simple page's mode (selects its demod table)

    // Reads slot, mode, the live demod table and the decoder table into the
    // pages. Returns true when everything up to the tables was read;
    // `unansweredRows` then counts the table rows the unit did not answer.
    // With `keepEdits` (a unit that comes back by itself, not one the
    // operator connected to) a control the operator changed and has not sent
    // keeps its content (ReadTableToPage).
    // With RowReading::UntilUnanswered the tables are read no further than
    // the first row the unit did not answer.
    // The reads are made once more when the unit sent a reply it was not
    // asked for; when it does so again, the operator is told and
    // `readShifted` set (the pages may hold shifted values).
    bool ReadUnitConfig(bool disableButtons, bool keepEdits = false, RowReading reading = RowReading::Every);
    int unansweredRows = 0;
    bool readShifted = false;
    // The identity of the unit the last whole read came from (kept when the
    // unit goes away).
    UnitIdentity identity;
    // Reads the model token and the serial number of the unit that answers;
    // false when either read is not answered.
    bool ReadIdentity(UnitIdentity& out);
    // A unit that answers again after it was gone: when it is another unit
    // than the pages were read from, the operator is told before anything
    // else happens and everything is read afresh; the same unit is read with
    // what the operator typed meanwhile kept on the pages.
    void UnitBack();
    // The unit went away: the pages show no values until one answers again.
    void ForgetUnitValues();
    // One run of ReadUnitConfig's reads; false (the operator told) when the
    // slot or the mode could not be read.
    bool ReadSlotModeAndTables(bool keepEdits, RowReading reading);
    // Reads the demod table of `mode` and the decoder table into the pages;
    // returns the number of rows the unit did not answer.
    int ReadTablesToPages(int mode, bool keepEdits = false, RowReading reading = RowReading::Every);
    // Sets the unit's mode (0 narrowband, 1 DVBT), waits for its restart and
    // reads everything back. False when not connected or the write failed.
    bool SwitchDemodMode(int mode);
    // The tab strip is about to leave the selected tab: stores the working
    // configuration into CurrentConfig. Returns whether the change is allowed.
    bool SaveConfigSlot();
    // The tab strip moved to tab `tab` (0-based): loads that slot. True when
    // the unit took the load request.
    bool LoadConfigSlot(int tab);
    void RefreshSimplePage();
    // Writes the changed controls of the simple page, then re-reads what changed.
    void ApplySimplePage();
    // Gives the unit a new address (when connected) and uses it from now on.
    void SetUnitAddress(int address);

    // ---- helpers for the file operations -------------------------------------
    // The link's Exchange (its LinkMutex, log level 1). `data` (optional) receives
    // the reply's data text on success.
    ResultCode Transact(const std::string& request, std::string* data = nullptr);
    // The any-unit address request; on success `address` receives the unit's
    // address. A reported address outside 0..9999 is an invalid reply.
    ResultCode ProbeAddress(int& address);
    // STX and this session's unit address followed by `text` (AddressedRequest).
    std::string Request(const std::string& text) const;
    // The unit restarts: the link waits 7,000 ms, then reconnects on Ethernet.
    void WaitForRestart();
    // Error box ("Error", warning icon) / notice ("Alert", information icon).
    void Error(const std::string& text);
    void Alert(const std::string& text);

private:
    CFerritRemoteControl& link_;
    UnitState& unit_;
    IUnitView& view_;
};
