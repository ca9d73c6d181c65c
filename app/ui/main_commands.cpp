// The main window's commands: menu, toolbar and accelerator entries, the key
// button of the simple page and the two configuration-set buttons.
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>

#include "app/settings.h"
#include "app/ui/CEngineeringDialog.h"
#include "app/ui/CLogoSizeDialog.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "app/unit_session.h"
#include "link/frame.h"
#include "link/remote_control.h"
#include "pages/config_ops.h"
#include "pages/key_check.h"
#include "pages/ui/CBarrelDialog.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CEnterValueDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "pages/ui/CWriteKeyDialog.h"
#include "params/param_table.h"
#include "params/ui/CPollingOptions.h"
#include "platform/program_folder.h"
#include "platform/user_folders.h"
#include "ui/operator_texts.h"
#include "ui/program_icon.h"
#include "ui/prompts.h"

namespace {
constexpr int kMaxTitleChars = 32;

// A file dialog starts in the folder of the current setting, else in the
// program folder (an installed program's folder holds only programs: the
// home folder then).
std::string StartFolder(const std::optional<std::string>& setting) {
    if (setting && !setting->empty()) {
        const QFileInfo info(QString::fromStdString(*setting));
        if (info.dir().exists()) return info.absolutePath().toStdString();
    }
    const std::string home = RunsInstalled() ? HomeFolder() : std::string();
    return home.empty() ? ProgramFolder() : home;
}
}  // namespace

void CTavrin_rx_ctrl_v2Dlg::RunCommand(int commandId) {
    switch (commandId) {
    case ID_OPTIONS_ENGINEERING: OnEngineering(); break;
    case ID_OPTIONS_POLLING:
    case ID_ENABLE_POLLING:
    case ID_DISABLE_POLLING: OnPollingToggle(); break;
    case ID_WRITE_KEY: OnWriteKey(); break;
    case ID_POLLING_OPTIONS: OnPollingOptions(); break;
    case ID_SIGNAL_HISTORY: OnSignalHistory(); break;
    case ID_ALARMS: OnAlarms(); break;
    case ID_RESTORE_DEFAULTS:
    case ID_RESTORE_DEFAULTS_DOWNCONVERTERS: OnRestoreDefaults(); break;
    case ID_SET_ICON_SOURCE: OnSetIconSource(); break;
    case ID_FILE_EXIT: close(); break;
    case ID_SET_APP_TITLE: OnSetAppTitle(); break;
    case ID_SET_LOGO_SOURCE: OnSetLogoSource(); break;
    case ID_SET_LOGO_SIZE: OnSetLogoSize(); break;
    default: break;
    }
}

void CTavrin_rx_ctrl_v2Dlg::OnEngineering() {
    if (QWidget* open = EngineeringWindow()) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* window = new CEngineeringDialog(&Link(), unit_->unitAddress.load(), [this] { return UnitConnected(); },
                                          ProgramIcon());
    connect(window, &CEngineeringDialog::unitAddressSet, this, [this](int address) { OnSetUnitAddress(address); });
    connect(window, &CEngineeringDialog::closing, this, [this] { engineering_ = nullptr; });
    SetEngineeringWindow(window);
    window->show();
}

void CTavrin_rx_ctrl_v2Dlg::OnPollingToggle() {
    // The poll thread reads the flag at each round.
    std::atomic_ref<uint8_t> enabled(AppSettings.PollingEnabled);
    enabled.store(uint8_t(enabled.load() ^ 1u));
    ShowPollingState();
}

void CTavrin_rx_ctrl_v2Dlg::OnWriteKey() {
    if (!UnitConnected()) {
        ShowError(kTextNoConnection);
        return;
    }
    int position = -1;
    if (const ParamEntry* row = FindParam(DecoderTable, "zdes")) {
        const ParamValue value = ReadParamValue(*unit_, *row);
        if (value.has) position = int(value.number);
    }
    CWriteKeyDialog dialog(KeyTypeForDescrambling(position), this);
    if (dialog.exec() != QDialog::Accepted) return;

    // Log level 2: the key never appears in the transaction log.
    bool written = true;
    for (const std::string& request :
         KeyRequests(dialog.keyType(), UnitAddress(), dialog.lowerKey(), dialog.upperKey())) {
        if (TransactLocked(Link(), request, nullptr, nullptr, 2) != kResultOk) written = false;
    }
    // The event names the key type, never the key.
    if (written) NoteEvent(EventKind::KeyWritten, KeyTypeName(dialog.keyType()));
}

void CTavrin_rx_ctrl_v2Dlg::OnPollingOptions() {
    CPollingOptions dialog(this);
    connect(&dialog, &CPollingOptions::intervalChanged, this, [this] { PollIntervalChanged(); });
    dialog.exec();
}

void CTavrin_rx_ctrl_v2Dlg::OnSignalHistory() {
    // One window for the run's history; closing it only hides it.
    if (!historyWindow_) historyWindow_ = new CSignalHistoryDlg(*history_, this);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void CTavrin_rx_ctrl_v2Dlg::OnAlarms() {
    // One window for the run's alarms; closing it only hides it.
    if (!alarmsWindow_) alarmsWindow_ = new CAlarmsDlg(*history_, this);
    alarmsWindow_->Refresh();
    alarmsWindow_->show();
    alarmsWindow_->raise();
    alarmsWindow_->activateWindow();
}

void CTavrin_rx_ctrl_v2Dlg::OnRestoreDefaults() {
    CBarrelDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (RestoreDefaults(Session(), dialog.choice())) {
        const DownconverterDefaults* chosen = FindDownconverter(dialog.choice());
        NoteEvent(EventKind::DefaultsRestored, chosen ? chosen->caption : "");
    }
}

void CTavrin_rx_ctrl_v2Dlg::OnSetIconSource() {
    FileDialogRequest request;
    request.title = "Select new icon file";
    request.filter = "Icon files (*.ico)|*.ico|All files (*.*)|*.*||";
    request.defaultExtension = "ico";
    request.initialName = "*.ico";
    request.startFolder = StartFolder(AppSettings.IconFile);
    const std::optional<std::string> path = Prompts().AskFile(request);
    if (!path) return;

    // The path is kept even when the file does not load: the main window then
    // shows the application icon, the other windows no icon.
    AppSettings.IconFile = *path;
    const QIcon loaded = LoadIconFile(*path);
    UserIcon() = loaded;
    SetProgramIcon(loaded);
    if (QWidget* engineering = EngineeringWindow()) engineering->setWindowIcon(loaded);
    if (CSimpleDemodDialog* simple = SimplePage())
        if (QWidget* full = simple->FullPage()) full->setWindowIcon(loaded);
}

void CTavrin_rx_ctrl_v2Dlg::OnSetAppTitle() {
    const QString current = QString::fromStdString(AppSettings.AppTitle.value_or(""));
    CEnterValueDialog dialog(QStringLiteral("Enter the new application title"), current,
                             kMaxTitleChars, this);
    if (dialog.exec() != QDialog::Accepted) return;
    AppSettings.AppTitle = dialog.value().toStdString();
    setWindowTitle(dialog.value());
}

void CTavrin_rx_ctrl_v2Dlg::OnSetLogoSource() {
    FileDialogRequest request;
    request.title = "Select new bitmap file";
    request.filter = "Bitmap files (*.bmp)|*.bmp|All files (*.*)|*.*||";
    request.defaultExtension = "bmp";
    request.initialName = "*.bmp";
    request.startFolder = StartFolder(AppSettings.LogoFile);
    const std::optional<std::string> path = Prompts().AskFile(request);
    if (!path) return;
    AppSettings.LogoFile = *path;
    LoadLogo();
}

void CTavrin_rx_ctrl_v2Dlg::OnSetLogoSize() {
    const QRect area = LogoArea();
    CLogoSizeDialog dialog(AppSettings.LogoHeight, AppSettings.LogoWidth, area.height(),
                           area.width(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    // Cut to the logo area; a negative size is taken as 0.
    AppSettings.LogoWidth = std::clamp(dialog.LogoWidth(), 0, std::max(0, area.width()));
    AppSettings.LogoHeight = std::clamp(dialog.LogoHeight(), 0, std::max(0, area.height()));
    PlaceLogo();
}

void CTavrin_rx_ctrl_v2Dlg::OnSaveConfigSet() {
    const std::optional<std::string> path = Prompts().AskFile(ConfigFileRequest(true, kTitleSaveConfig));
    if (!path) return;
    if (SaveConfigSet(Session(), *path)) NoteEvent(EventKind::ConfigSetSaved, *path);
}

void CTavrin_rx_ctrl_v2Dlg::OnLoadConfigSet() {
    const std::optional<std::string> path = Prompts().AskFile(ConfigFileRequest(false, ""));
    if (!path) return;
    if (LoadConfigSet(Session(), *path)) NoteEvent(EventKind::ConfigSetLoaded, *path);
}
