#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <atomic>

#include "app/alarm_texts.h"
#include "app/folder_check.h"
#include "app/settings.h"
#include "app/signal_history.h"
#include "app/ui/lamp_texts.h"
#include "app/ui/main_view.h"
#include "app/unit_session.h"
#include "link/remote_control.h"
#include "link/ui/CConnectDialog.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/alarm_rules.h"
#include "params/codec.h"
#include "params/param_table.h"
#include "params/poll_thread.h"
#include "platform/debug_out.h"
#include "platform/user_folders.h"
#include "ui/CIpAddressCtrl.h"
#include "ui/accessible.h"
#include "ui/CPleaseWaitDialog.h"
#include "ui/control_ids.h"
#include "ui/operator_texts.h"
#include "ui/program_icon.h"
#include "ui/theme_colours.h"

using namespace ids::main_window;

namespace {
constexpr int kLampSize = 24;
constexpr int kLogoAreaSize = 96;
constexpr int kLogoDefault = 70;

// A lamp: an icon named by its caption, its state in words as its description.
QLabel* MakeLamp(QWidget* parent, const LampText& text) {
    auto* lamp = SetCtrlId(new QLabel(parent), text.lampId);
    lamp->setFixedSize(kLampSize, kLampSize);
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setAccessibleName(QString::fromLatin1(text.name));
    return lamp;
}
}  // namespace

CTavrin_rx_ctrl_v2Dlg::CTavrin_rx_ctrl_v2Dlg(QWidget* parent)
    : QDialog(parent), QtPage(this), unit_(std::make_unique<UnitState>()), poll_(std::make_unique<PollState>()) {
    setObjectName(QStringLiteral("dialog_102"));
    // The unit starts at address 1, in no known mode, at the last IP address.
    unit_->ipAddress = StartupIpAddress(AppSettings);
    setWindowTitle(QStringLiteral("tavrin_rx_ctrl_v2"));
    // The window as the view of the unit session.
    view_ = std::make_unique<View>(*this);
    // The user's icon, else the application icon.
    icon_ = ProgramIconOrDefault();
    BuildControls();
    LoadLogo();
    // The signal history of the run; its events also go to the event log file,
    // and each one tells the history window, from whichever thread added it.
    history_ = std::make_unique<CSignalHistory>();
    QtUnitEvents* events = &PageEvents();
    history_->Events().SetListener([this, events](const EventRecord&) {
        events->Post([this] {
            if (historyWindow_) historyWindow_->RefreshEvents();
            ShowAlarmState();
        });
    });
    // The alarms watch the poll items the polling options switch on; none
    // while polling is off (read on the poll thread, as the poll thread does).
    history_->SetPollItemsOn([] {
        auto on = [](const uint8_t& flag) { return std::atomic_ref<const uint8_t>(flag).load(std::memory_order_relaxed) != 0; };
        uint8_t items = 0;
        for (int item = 0; item < PollItemCount && on(AppSettings.PollingEnabled); ++item)
            if (on(AppSettings.PollItemFlags[item])) items = uint8_t(items | (1u << item));
        return items;
    });
    ListenToEvents();
    // The link, its transaction log and its serial time-outs and speed; the
    // event log lies in the same folder.
    link_ = std::make_unique<CFerritRemoteControl>(&WindowEvents());
    const std::string logFolder = EnsureStateFolder();
    if (!logFolder.empty()) {
        link_->OpenLog(LogFilePath(logFolder));
        history_->Events().SetFile(EventLogFilePath());
    }
    SerialTimeouts timeouts;
    timeouts.readInterval = static_cast<uint32_t>(AppSettings.ReadIntervalTimeout);
    timeouts.readTotalMultiplier = static_cast<uint32_t>(AppSettings.ReadTotalTimeoutMultiplier);
    timeouts.readTotalConstant = static_cast<uint32_t>(AppSettings.ReadTotalTimeoutConstant);
    timeouts.writeTotalMultiplier = static_cast<uint32_t>(AppSettings.WriteTotalTimeoutMultiplier);
    timeouts.writeTotalConstant = static_cast<uint32_t>(AppSettings.WriteTotalTimeoutConstant);
    link_->SetCommTimeouts(timeouts);
    link_->SetBaudRate(static_cast<uint32_t>(AppSettings.BaudRate));
    link_->SetCloseOnErrors(false, false);
    session_ = std::make_unique<CUnitSession>(*link_, *unit_, *view_);
    session_->unitAddress = unit_->unitAddress.load();
}

CTavrin_rx_ctrl_v2Dlg::~CTavrin_rx_ctrl_v2Dlg() {
    // No worker may wait for this window from now on.
    PageEvents().Shutdown();
    StopPollThread();
    // The history window reads the history: it goes first.
    delete historyWindow_.data();
    delete alarmsWindow_.data();
    history_->Events().SetListener(nullptr);
    if (engineering_) delete engineering_.data();
    if (simplePage_) simplePage_->CloseFullPage();
    session_.reset();
    link_.reset();   // closes port, socket and log; ends the connect threads
    delete simplePage_;
    simplePage_ = nullptr;
}

int CTavrin_rx_ctrl_v2Dlg::UnitAddress() const { return session_->unitAddress; }
int CTavrin_rx_ctrl_v2Dlg::CurrentConfig() const { return session_->currentConfig; }

void CTavrin_rx_ctrl_v2Dlg::SetUnitAddress(int address) {
    session_->unitAddress = address;
    unit_->unitAddress.store(address);
    poll_->params.unitAddress.store(address);
}

void CTavrin_rx_ctrl_v2Dlg::BuildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 8);
    outer->setSpacing(6);
    BuildMenuAndToolbar();
    outer->setMenuBar(menuBar_);
    outer->addWidget(toolBar_);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 0, 10, 0);
    body->setSpacing(8);
    outer->addLayout(body, 1);

    // Connection panel.
    auto* panel = new QGroupBox(QStringLiteral("Connection"), this);
    auto* grid = new QGridLayout(panel);
    grid->setHorizontalSpacing(10);
    rs232_ = SetCtrlId(new QRadioButton(QStringLiteral("RS232"), panel), kRs232);
    ethernet_ = SetCtrlId(new QRadioButton(QStringLiteral("Ethernet"), panel), kEthernet);
    rs232_->setChecked(true);
    portList_ = SetCtrlId(new QComboBox(panel), kPortList);
    portList_->setMinimumContentsLength(8);
    portList_->installEventFilter(this);
    ipAddress_ = SetCtrlId(new CIpAddressCtrl(panel), kIpAddress);
    connectButton_ = SetCtrlId(new QPushButton(QStringLiteral("Connect"), panel), kConnect);
    loadSetButton_ = SetCtrlId(new QPushButton(QStringLiteral("Load config set"), panel), kLoadConfigSet);
    saveSetButton_ = SetCtrlId(new QPushButton(QStringLiteral("Save config set"), panel), kSaveConfigSet);
    grid->addWidget(rs232_, 0, 0);
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Port"), portList_, panel), 0, 1, Qt::AlignRight);
    grid->addWidget(portList_, 0, 2);
    grid->addWidget(connectButton_, 0, 4);
    grid->addWidget(ethernet_, 1, 0);
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Address"), ipAddress_, panel), 1, 1, Qt::AlignRight);
    ipAddress_->SetNames(QStringLiteral("Address"));
    grid->addWidget(ipAddress_, 1, 2);
    grid->setColumnStretch(3, 1);
    grid->addWidget(loadSetButton_, 0, 5);
    grid->addWidget(saveSetButton_, 1, 5);
    body->addWidget(panel);

    // Slot tabs with the simple page under them.
    auto* tabArea = new QVBoxLayout;
    tabArea->setSpacing(0);
    tabs_ = SetCtrlId(new QTabBar(this), kSlotTabs);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    // A slot changes only by intent: a click or Ctrl+1 to Ctrl+8, never by
    // arrow keys on a tab strip that Tab or the start-up focus reached.
    tabs_->setFocusPolicy(Qt::NoFocus);
    tabArea->addWidget(tabs_);
    tabFrame_ = new QFrame(this);
    tabFrame_->setObjectName(QStringLiteral("tabFrame"));
    static_cast<QFrame*>(tabFrame_)->setFrameShape(QFrame::StyledPanel);
    auto* frameLayout = new QVBoxLayout(tabFrame_);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    tabArea->addWidget(tabFrame_, 1);
    body->addLayout(tabArea, 1);

    // Lamps, status labels and logo.
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(18);
    auto* lampGrid = new QGridLayout;
    lampGrid->setHorizontalSpacing(18);
    lampGrid->setVerticalSpacing(4);
    int column = 0;
    for (const LampText& l : kLampTexts) {
        auto* caption = new QLabel(QString::fromLatin1(l.name), this);
        lampGrid->addWidget(caption, 0, column, Qt::AlignHCenter | Qt::AlignBottom);
        lampGrid->addWidget(MakeLamp(this, l), 1, column, Qt::AlignHCenter | Qt::AlignTop);
        ++column;
    }
    statusRow->addLayout(lampGrid);
    statusRow->setAlignment(lampGrid, Qt::AlignVCenter);
    auto* labels = new QVBoxLayout;
    labels->setSpacing(4);
    pollingLabel_ = SetCtrlId(new QLabel(QString::fromLatin1(kTextPollingEnabled), this), kPollingLabel);
    connectedLabel_ = SetCtrlId(new QLabel(QString::fromLatin1(kTextNotConnected), this), kConnectedLabel);
    alarmLabel_ = new QLabel(this);
    alarmLabel_->setObjectName(QStringLiteral("alarmState"));
    alarmLabel_->setAccessibleName(QStringLiteral("Alarm state"));
    alarmLabel_->setAutoFillBackground(true);
    alarmLabel_->setContentsMargins(12, 3, 12, 3);
    // A click on the indicator opens the Alarms window (as Ctrl+M does).
    alarmLabel_->setCursor(Qt::PointingHandCursor);
    alarmLabel_->setToolTip(QStringLiteral("Alarms (Ctrl+M)"));
    alarmLabel_->installEventFilter(this);
    QFont bold = alarmLabel_->font();
    bold.setBold(true);
    alarmLabel_->setFont(bold);
    labels->addWidget(pollingLabel_);
    labels->addWidget(connectedLabel_);
    labels->addWidget(alarmLabel_, 0, Qt::AlignLeft);
    statusRow->addSpacing(12);
    statusRow->addLayout(labels);
    statusRow->setAlignment(labels, Qt::AlignVCenter);
    statusRow->addStretch(1);
    logoFrame_ = new QWidget(this);
    logoFrame_->setObjectName(QStringLiteral("logoArea"));
    logoFrame_->setFixedSize(kLogoAreaSize, kLogoAreaSize);
    logo_ = SetCtrlId(new QLabel(logoFrame_), kLogo);
    logo_->setFrameShape(QFrame::Panel);
    logo_->setFrameShadow(QFrame::Sunken);
    logo_->setAlignment(Qt::AlignCenter);
    logo_->setGeometry(0, 0, kLogoAreaSize, kLogoAreaSize);
    statusRow->addWidget(logoFrame_);
    body->addLayout(statusRow);
    SetReceptionLamps(LampState::Grey);
    SetLamp(kConnectionLamp, LampState::Red);
    SetConnectedLabel(false);

    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(connectButton_, &QPushButton::clicked, this, [this] { OnConnect(); });
    connect(loadSetButton_, &QPushButton::clicked, this, [this] { OnLoadConfigSet(); });
    connect(saveSetButton_, &QPushButton::clicked, this, [this] { OnSaveConfigSet(); });
    connect(tabs_, &QTabBar::currentChanged, this, [this](int tab) { OnTabChanged(tab); });
}

void CTavrin_rx_ctrl_v2Dlg::Initialise() {
    if (initialised_) return;
    initialised_ = true;
    setWindowIcon(icon_);
    // The start-up Connecting window (shown only by the start-up connection).
    startupConnect_ = new CConnectDialog(this);
    // The logo area; a logo size of -1 is the default, any size is cut to the area.
    logoArea_ = QRect(0, 0, logoFrame_->width(), logoFrame_->height());
    if (AppSettings.LogoWidth == -1) AppSettings.LogoWidth = kLogoDefault;
    if (AppSettings.LogoHeight == -1) AppSettings.LogoHeight = kLogoDefault;
    if (AppSettings.LogoWidth < 0) AppSettings.LogoWidth = 0;
    if (AppSettings.LogoHeight < 0) AppSettings.LogoHeight = 0;
    if (AppSettings.LogoWidth > logoArea_.width()) AppSettings.LogoWidth = logoArea_.width();
    if (AppSettings.LogoHeight > logoArea_.height()) AppSettings.LogoHeight = logoArea_.height();
    PlaceLogo();
    // Eight slot tabs, the first selected.
    ++tabGuard_;
    for (int i = 1; i <= 8; ++i) {
        tabs_->addTab(QStringLiteral("Config %1").arg(i));
        tabs_->setTabToolTip(i - 1, QStringLiteral("Config %1 (Ctrl+%1)").arg(i));
        // The same path as a click: the tab strip's change stores and loads.
        auto* key = new QShortcut(QKeySequence(QStringLiteral("Ctrl+%1").arg(i)), this);
        connect(key, &QShortcut::activated, this, [this, i] { tabs_->setCurrentIndex(i - 1); });
    }
    tabs_->setCurrentIndex(0);
    --tabGuard_;
    shownTab_ = 0;
    // The simple page in the tab area with every table's controls, the first tab highlighted.
    simplePage_ = new CSimpleDemodDialog(*this, tabFrame_);
    tabFrame_->layout()->addWidget(simplePage_);
    SetupPageControls(*simplePage_, NarrowbandDemodTable);
    SetupPageControls(*simplePage_, DvbtDemodTable);
    SetupPageControls(*simplePage_, DecoderTable);
    simplePage_->FillDownconverters();
    ApplyModeToPageControls(simplePage_, nullptr, 0);
    simplePage_->show();
    SetSlotHighlight(0);
    // The reception lamps stay red until the unit reports (grey after a failed
    // serial start-up).
    SetReceptionLamps(LampState::Red);
    // A folder that cannot be written loses settings or logs: said once,
    // before the unit is looked for; the program goes on without them.
    if (const std::string problems = FolderProblemsText(UnwritableFolders()); !problems.empty())
        view_->ShowMessage(problems, kCaptionAlert, MessageIcon::Warning);
    LoadAlarmRules();
    ScanComPorts();
    StartupConnection();
    SetLamp(kConnectionLamp, link_->IsConnected() ? LampState::Green : LampState::Red);
    ShowPollingState();
    StartPollThread();
    // The caption is the application title of the settings.
    setWindowTitle(QString::fromStdString(AppSettings.AppTitle.value_or(std::string())));
    // The start-up Connecting window is no longer needed.
    delete startupConnect_;
    startupConnect_ = nullptr;
}

void CTavrin_rx_ctrl_v2Dlg::NoteEvent(EventKind kind, const std::string& detail) {
    history_->Events().Add(kind, detail);
}

void CTavrin_rx_ctrl_v2Dlg::LoadAlarmRules() {
    AlarmRules rules = AlarmRules::Defaults();
    const std::string path = AlarmRulesFilePath();
    std::string error;
    // No file: the defaults. A file with a fault changes nothing: the defaults stay.
    if (!path.empty() && QFileInfo::exists(QString::fromStdString(path)) && !ReadAlarmRulesFile(path, rules, error))
        view_->ShowMessage("The alarm rules file has a fault; the default alarm rules are in force.\n\n" + error,
                           kCaptionAlert, MessageIcon::Warning);
    history_->SetAlarmRules(rules);
    ShowAlarmState();
}

void CTavrin_rx_ctrl_v2Dlg::ShowAlarmState() {
    if (!alarmLabel_) return;
    const AlarmSnapshot alarms = history_->Alarms();
    const QString words = alarms.highest ? QString::fromLatin1(AlarmSeverityWords(*alarms.highest))
                                         : QStringLiteral("No alarms");
    if (alarmLabel_->text() != words) {
        const AlarmLook look = AlarmColours(alarms.highest);
        alarmLabel_->setText(words);
        // The label's own fill and text colours: the same on every palette.
        QPalette colours = alarmLabel_->palette();
        colours.setColor(QPalette::Window, look.fill);
        colours.setColor(QPalette::WindowText, look.text);
        alarmLabel_->setPalette(colours);
        SetLiveDescription(alarmLabel_, words);
    }
    uint64_t newest = soundedSerial_;
    for (const Alarm& alarm : alarms.active)
        if (alarm.severity <= AlarmSeverity::Major) newest = std::max(newest, alarm.serial);
    if (newest > soundedSerial_) {
        soundedSerial_ = newest;
        if (AppSettings.AlarmSound != 0) QApplication::beep();
    }
    if (alarmsWindow_ && alarmsWindow_->isVisible()) alarmsWindow_->Refresh();
}

void CTavrin_rx_ctrl_v2Dlg::SetLamp(int ctrlId, LampState state) {
    auto* lamp = ControlAs<QLabel>(ctrlId);
    if (!lamp) return;
    const int iconId = LampIconId(state);
    lamp->setPixmap(IconPixmap(iconId, kLampSize));
    lamp->setProperty("iconId", iconId);
    SetLiveDescription(lamp, QString::fromLatin1(LampStateWords(ctrlId, state)));
}

void CTavrin_rx_ctrl_v2Dlg::SetReceptionLamps(LampState state) {
    SetLamp(kDemodLockLamp, state);
    SetLamp(kReceptionLamp, state);
    SetLamp(kDecoderLockLamp, state);
}

void CTavrin_rx_ctrl_v2Dlg::SetConnectedLabel(bool connected, const char* text) {
    if (text == nullptr) text = connected ? kTextConnected : kTextNotConnected;
    connectedLabel_->setText(QString::fromLatin1(text));
    connectedShown_ = connected;
    ApplyPaletteColours();
}

void CTavrin_rx_ctrl_v2Dlg::ApplyPaletteColours() {
    if (pollingLabel_) SetTextColour(pollingLabel_, ToneColour(TextTone::Emphasis, palette()));
    if (connectedLabel_)
        SetTextColour(connectedLabel_, ToneColour(connectedShown_ ? TextTone::Good : TextTone::Bad, palette()));
    if (tabs_ && highlightedTab_ >= 0) SetSlotHighlight(highlightedTab_);
}

void CTavrin_rx_ctrl_v2Dlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (!IsPaletteChange(event)) return;
    ApplyPaletteColours();
    ApplyToolbarImages();
}

void CTavrin_rx_ctrl_v2Dlg::SetProgramIcon(const QIcon& icon) {
    icon_ = icon.isNull() ? ApplicationIcon() : icon;
    setWindowIcon(icon_);
}

void CTavrin_rx_ctrl_v2Dlg::LoadLogo() {
    logoBitmap_ = QPixmap();
    if (AppSettings.LogoFile && !AppSettings.LogoFile->empty()) {
        QImage image;
        // Only a bitmap file is a logo.
        if (image.load(QString::fromStdString(*AppSettings.LogoFile), "BMP"))
            logoBitmap_ = QPixmap::fromImage(image.scaled(kLogoDefault, kLogoDefault));
    }
    if (logoBitmap_.isNull()) {
        logo_->clear();
        logo_->hide();
    } else {
        logo_->setPixmap(logoBitmap_);
        logo_->show();
    }
}

void CTavrin_rx_ctrl_v2Dlg::PlaceLogo() {
    const int w = std::max(0, AppSettings.LogoWidth);
    const int h = std::max(0, AppSettings.LogoHeight);
    const int x = logoArea_.width() / 2 + logoArea_.left() - w / 2;
    const int y = logoArea_.height() / 2 + logoArea_.top() - h / 2;
    logo_->setGeometry(x, y, w, h);
    logo_->raise();
    logo_->update();
}

void CTavrin_rx_ctrl_v2Dlg::EnableActionButtons(bool enable) {
    connectButton_->setEnabled(enable);
    saveSetButton_->setEnabled(enable);
    loadSetButton_->setEnabled(enable);
    if (simplePage_) simplePage_->EnableActionButtons(enable);
}

void CTavrin_rx_ctrl_v2Dlg::StartPollThread() {
    PollThreadParams& p = poll_->params;
    p.window = &WindowEvents();
    p.link = link_.get();
    p.unit = unit_.get();
    p.interval.store(static_cast<uint32_t>(std::max<int32_t>(0, AppSettings.PollIntervalMs)));
    p.unitAddress.store(session_->unitAddress);
    p.pollingEnabled = &AppSettings.PollingEnabled;
    p.pollItemFlags = AppSettings.PollItemFlags;
    p.sampleSink = history_.get();
    poll_->thread.Start(p);
}

void CTavrin_rx_ctrl_v2Dlg::StopPollThread() {
    if (poll_->thread.IsRunning()) poll_->thread.Stop();
}

void CTavrin_rx_ctrl_v2Dlg::ShowPolledValue(ValueTable kind, const ParamEntry& updated) {
    const char* code = updated.code;
    if (!code || !simplePage_) return;
    const ParamEntry* table = nullptr;
    switch (kind) {
    case ValueTable::Demod:
        if (session_->pageMode == 0) table = NarrowbandDemodTable;
        else if (session_->pageMode == 1) table = DvbtDemodTable;
        break;
    case ValueTable::Decoder: table = DecoderTable; break;
    }
    if (!table) return;
    for (const ParamEntry* row = table; row->code; ++row) {
        if (std::string(row->code, 4) != std::string(code, 4)) continue;
        if (!ReadParamValue(*unit_, *row).has) continue;
        ShowStoredValue(*unit_, *row, *simplePage_, simplePage_->FullPage());
        return;
    }
}

void CTavrin_rx_ctrl_v2Dlg::ListenToEvents() {
    QtUnitEvents* events = &PageEvents();
    connect(events, &QtUnitEvents::connectDone, this, [this](ConnectResult) { OnConnectDone(); });
    connect(events, &QtUnitEvents::lampChanged, this,
            [this](Lamp lamp, LampState state) { SetLamp(LampControlId(lamp), state); });
    connect(events, &QtUnitEvents::valueUpdated, this,
            [this](ValueTable table, const ParamEntry& row) { ShowPolledValue(table, row); });
    connect(events, &QtUnitEvents::graphSample, this, [this](const ParamEntry& row) {
        if (simplePage_) simplePage_->GraphSample(row);
    });
    connect(events, &QtUnitEvents::linkLost, this, [this] { OnLinkLost(); });
    connect(events, &QtUnitEvents::unitAlive, this, [this] { OnUnitAlive(); });
    connect(events, &QtUnitEvents::pollCycleDone, this,
            [this](const PollCycleReport& report) { OnPollCycleDone(report); });
}

void CTavrin_rx_ctrl_v2Dlg::PollIntervalChanged() {
    poll_->params.interval.store(static_cast<uint32_t>(std::max<int32_t>(0, AppSettings.PollIntervalMs)));
}

void CTavrin_rx_ctrl_v2Dlg::CloseSteps() {
    if (closing_) return;
    closing_ = true;
    StopPollThread();
    DebugOut("Poll thread terminated\r\n");
    // A recording ends with the program, with its event.
    history_->StopRecording();
    if (engineering_) {
        delete engineering_.data();
        engineering_ = nullptr;
    }
    if (simplePage_) simplePage_->CloseFullPage();
}

void CTavrin_rx_ctrl_v2Dlg::closeEvent(QCloseEvent* event) {
    CloseSteps();
    QDialog::closeEvent(event);
}

void CTavrin_rx_ctrl_v2Dlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The window's OK does nothing: Enter never ends it.
        event->accept();
        return;
    case Qt::Key_Escape:
        event->accept();
        close();
        return;
    default: QDialog::keyPressEvent(event);
    }
}

bool CTavrin_rx_ctrl_v2Dlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == portList_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) DebugOut("Connect\r\n");
    }
    if (watched == alarmLabel_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        OnAlarms();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CTavrin_rx_ctrl_v2Dlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PageEvents().SetWindowExists(true);
}
