// The program's main window: connection panel, configuration slot tabs with the
// simple demodulator page, status lamps and labels, logo, menu and toolbar.
// It owns the link, the simple page and the poll thread and receives every
// event of the link and of the worker threads.
//
// The implementation is split over several files:
//   CTavrin_rx_ctrl_v2Dlg.cpp      construction, layout, close, window messages
//   main_connect.cpp               start-up connection, Connect button, connect done
//   main_slots.cpp                 slot tabs, ReadUnitConfig, mode switch, Apply
//   main_menu.cpp                  menu bar, toolbar and accelerator skeleton
//   main_commands.cpp              the menu/toolbar/config-set command handlers
#pragma once
#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QRect>
#include <array>
#include <map>
#include <memory>
#include <string>

#include "app/ui/CAlarmsDlg.h"
#include "pages/ui/page_host.h"
#include "params/ui/CSignalHistoryDlg.h"
#include "ui/unit_events_qt.h"
#include "ui/qt_page.h"

class CFerritRemoteControl;
class CSignalHistory;
class CUnitSession;
class UnitState;
class CPleaseWaitDialog;
class CIpAddressCtrl;
class CSimpleDemodDialog;
class CConnectDialog;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTabBar;
class QToolBar;
class QWidget;

// Command ids of the menu and the toolbar.
enum MainCommand : int {
    ID_OPTIONS_ENGINEERING = 32771,
    ID_OPTIONS_POLLING = 32772,
    ID_ENABLE_POLLING = 32773,
    ID_DISABLE_POLLING = 32774,
    ID_WRITE_KEY = 32775,
    ID_POLLING_OPTIONS = 32776,
    ID_RESTORE_DEFAULTS = 32778,
    ID_RESTORE_DEFAULTS_DOWNCONVERTERS = 32779,
    ID_SIGNAL_HISTORY = 32780,
    ID_SET_ICON_SOURCE = 32800,
    ID_FILE_EXIT = 32801,
    ID_SET_APP_TITLE = 32802,
    ID_SET_LOGO_SOURCE = 32803,
    ID_SET_LOGO_SIZE = 32804,
    ID_ALARMS = 32805,
};

// COM ports present, filled once at initialisation.
struct ComPortList {
    std::array<uint8_t, 256> present{};   // by port index
    std::array<uint8_t, 256> rowToPort{}; // by row of the port list
    std::array<uint8_t, 256> portToRow{}; // by port index
    int rows = 0;
};

class CTavrin_rx_ctrl_v2Dlg : public QDialog, public QtPage, public IPageHost {
    Q_OBJECT
public:
    // Construction: link, log, serial settings, logo bitmap. Nothing is shown
    // and nothing is sent until Initialise.
    explicit CTavrin_rx_ctrl_v2Dlg(QWidget* parent = nullptr);
    ~CTavrin_rx_ctrl_v2Dlg() override;

    // The window's initialisation: tabs, simple page, COM port scan, start-up
    // connection, lamps, polling state, toolbar, poll thread, caption.
    void Initialise();

    // ----- what pages, dialogs and commands use -------------------------------
    CFerritRemoteControl& Link() { return *link_; }
    UnitState& Unit() { return *unit_; }
    IUnitEvents& WindowEvents() override { return PageEvents(); }
    CSimpleDemodDialog* SimplePage() { return simplePage_; }
    // The slot, mode and file operations on the unit, with this window as view.
    CUnitSession& Session() override { return *session_; }
    int UnitAddress() const;
    // Sets the window's unit address, the unit state's and the poll thread's copy.
    void SetUnitAddress(int address);
    bool UnitConnected() const { return unitConnected_; }
    int CurrentConfig() const;
    const ComPortList& ComPorts() const { return comPorts_; }

    // Enables or disables every button that starts an exchange with the unit,
    // here, on the simple page and on the full demodulator page if it is open.
    void EnableActionButtons(bool enable);
    void ReadUnitConfig(bool disableButtons);
    // Switches the unit's mode; the "mode-changed" event when it did.
    void SwitchDemodMode(int mode) override;
    void RefreshSimplePage();
    void ApplySimplePage();
    void StartPollThread();
    void StopPollThread();

    // The polling menu entry, the polling label and the two polling toolbar
    // buttons from PollingEnabled.
    void ShowPollingState();
    QMenuBar* MenuBar() const { return menuBar_; }
    QToolBar* ToolBar() const { return toolBar_; }
    QAction* CommandAction(int commandId) const;

    // The program's icon (the user's icon, else icon 128) for this window and
    // the windows that carry it (engineering window, full page).
    QIcon ProgramIcon() const override { return icon_; }
    void SetProgramIcon(const QIcon& icon);
    // The logo control and the area laid out for it (client coordinates).
    QLabel* LogoControl() const { return logo_; }
    QRect LogoArea() const { return logoArea_; }
    // Loads LogoFile (70 x 70); shows the control when it loads, hides it otherwise.
    void LoadLogo();
    // Moves and sizes the logo control from LogoWidth/LogoHeight centred in LogoArea.
    void PlaceLogo();

    // The signal history of the run (kept while its window is closed), and
    // its window while it exists.
    CSignalHistory& History() { return *history_; }
    CSignalHistoryDlg* HistoryWindow() const { return historyWindow_; }
    void NoteEvent(EventKind kind, const std::string& detail) override;
    // The Alarms window while it exists, and the alarm indicator.
    CAlarmsDlg* AlarmsWindow() const { return alarmsWindow_; }
    QLabel* AlarmIndicator() const { return alarmLabel_; }

    // The engineering window while it is open (destroyed at close).
    QWidget* EngineeringWindow() const { return engineering_; }
    void SetEngineeringWindow(QWidget* window) { engineering_ = window; }

    // ----- command handlers, in main_commands.cpp ------------------------------
    void OnEngineering();          // ID_OPTIONS_ENGINEERING
    void OnPollingToggle();        // ID_OPTIONS_POLLING, ID_ENABLE_POLLING, ID_DISABLE_POLLING
    void OnWriteKey();             // ID_WRITE_KEY (also the simple page's key button)
    void OpenKeyDialog() override { OnWriteKey(); }
    void OnPollingOptions();       // ID_POLLING_OPTIONS
    void OnSignalHistory();        // ID_SIGNAL_HISTORY
    void OnAlarms();               // ID_ALARMS
    void OnRestoreDefaults();      // ID_RESTORE_DEFAULTS, ID_RESTORE_DEFAULTS_DOWNCONVERTERS
    void OnSetIconSource();        // ID_SET_ICON_SOURCE
    void OnSetAppTitle();          // ID_SET_APP_TITLE
    void OnSetLogoSource();        // ID_SET_LOGO_SOURCE
    void OnSetLogoSize();          // ID_SET_LOGO_SIZE
    void OnSaveConfigSet();        // "Save config set" button
    void OnLoadConfigSet();        // "Load config set" button

    // Runs a command by id, as the menu, the toolbar and the accelerators do.
    void RunCommand(int commandId);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A palette change (the desktop's theme switched) takes the coloured texts
    // and the toolbar's images along.
    void changeEvent(QEvent* event) override;

private:
    // construction and layout (CTavrin_rx_ctrl_v2Dlg.cpp)
    void BuildControls();
    void BuildMenuAndToolbar();    // main_menu.cpp
    // The toolbar's images for the current palette (main_menu.cpp).
    void ApplyToolbarImages();
    // The coloured texts (polling, connection, selected slot) for the current palette.
    void ApplyPaletteColours();
    // A lamp by its control id (the three reception lamps and the connection lamp).
    void SetLamp(int ctrlId, LampState state);
    // The demodulator lock, reception and decoder lock lamps, all three alike.
    void SetReceptionLamps(LampState state);
    // "Connected" in the good colour, else `text` ("Not connected" by default) in the bad one.
    void SetConnectedLabel(bool connected, const char* text = nullptr);
    // The core's events, each to its handler.
    void ListenToEvents();
    // The end of a poll cycle: the lamps the lamp rule made grey, and the
    // graphs of what it did not read (or a unit that did not answer at all),
    // are shown as unknown, never in their last values.
    void OnPollCycleDone(const PollCycleReport& report);
    // The alarm indicator (the highest active severity, in words and colour),
    // the sound of a new critical or major alarm and the Alarms window's list,
    // from the history's alarms: on each poll cycle and each alarm event.
    void ShowAlarmState();
    // The alarm rules file, or the defaults (said when the file has a fault).
    void LoadAlarmRules();
    void ShowPolledValue(ValueTable table, const ParamEntry& row);
    // The polling options applied a new interval.
    void PollIntervalChanged();
    void CloseSteps();

    // connection (main_connect.cpp)
    void ScanComPorts();
    void StartupConnection();
    void StartupSerial();
    void StartupEthernet();
    bool ProbeAndTakeAddress();
    void OnConnect();
    void ConnectSerial();
    void ConnectEthernet();
    void RunEthernetAttempt(CConnectDialog& dialog);
    void OnConnectDone();
    void OnLinkLost();
    void OnUnitAlive();
    // The operator's connection succeeded: the "connected" event with the port or address.
    void NoteConnected();

    // slots and mode (main_slots.cpp)
    void OnTabChanged(int tab);
    void SelectSlotTab(int tab);
    void SetSlotHighlight(int tab);
    void OnSetUnitAddress(int address);
    class View;
    friend class View;

    std::unique_ptr<CSignalHistory> history_;
    QPointer<CSignalHistoryDlg> historyWindow_;
    QPointer<CAlarmsDlg> alarmsWindow_;
    QLabel* alarmLabel_ = nullptr;
    uint64_t soundedSerial_ = 0;     // the newest critical or major alarm sounded
    // The unit's values and state; outlives the link and the poll thread.
    std::unique_ptr<UnitState> unit_;
    std::unique_ptr<CFerritRemoteControl> link_;
    struct PollState;
    std::unique_ptr<PollState> poll_;
    std::unique_ptr<View> view_;
    std::unique_ptr<CUnitSession> session_;
    CPleaseWaitDialog* pleaseWait_ = nullptr;
    bool unitConnected_ = false;
    bool busy_ = false;              // connection-status handlers
    bool closing_ = false;
    bool initialised_ = false;
    ComPortList comPorts_;
    QIcon icon_;
    QPixmap logoBitmap_;
    QRect logoArea_;

    QPointer<QWidget> engineering_;
    CSimpleDemodDialog* simplePage_ = nullptr;
    CConnectDialog* pendingConnect_ = nullptr;
    CConnectDialog* startupConnect_ = nullptr;

    QMenuBar* menuBar_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::map<int, QAction*> actions_;
    QTabBar* tabs_ = nullptr;
    QWidget* tabFrame_ = nullptr;
    QRadioButton* rs232_ = nullptr;
    QRadioButton* ethernet_ = nullptr;
    QComboBox* portList_ = nullptr;
    CIpAddressCtrl* ipAddress_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* loadSetButton_ = nullptr;
    QPushButton* saveSetButton_ = nullptr;
    QLabel* pollingLabel_ = nullptr;
    QLabel* connectedLabel_ = nullptr;
    QLabel* logo_ = nullptr;
    QWidget* logoFrame_ = nullptr;
    int tabGuard_ = 0;               // selection changes made by the program
    int shownTab_ = 0;               // the tab selected before a change
    int highlightedTab_ = -1;
    bool connectedShown_ = false;    // the connection label's colour
};
