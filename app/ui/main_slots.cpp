// The main window's configuration slots, demodulator mode, Refresh/Apply and
// unit address: the unit session does the exchanges, the window is its view.
#include <QApplication>
#include <QTabBar>

#include "app/settings.h"
#include "ui/CPleaseWaitDialog.h"
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "app/ui/main_view.h"
#include "ui/prompts.h"
#include "ui/theme_colours.h"
#include "app/unit_session.h"
#include "pages/ui/CDemodDialog.h"
#include "pages/ui/CSimpleDemodDialog.h"
#include "params/poll_thread.h"

// ----- the view -------------------------------------------------------------------

bool CTavrin_rx_ctrl_v2Dlg::View::UnitConnected() const { return w_.unitConnected_; }

void CTavrin_rx_ctrl_v2Dlg::View::ShowMessage(const std::string& text, const std::string& caption,
                                              MessageIcon icon) {
    ::ShowMessage(text, caption,
                  icon == MessageIcon::Information ? PromptIcon::Information : PromptIcon::Warning);
}

void CTavrin_rx_ctrl_v2Dlg::View::EnableActionButtons(bool enable) { w_.EnableActionButtons(enable); }

void CTavrin_rx_ctrl_v2Dlg::View::SelectSlotTab(int tab) { w_.SelectSlotTab(tab); }

void CTavrin_rx_ctrl_v2Dlg::View::SetSlotHighlight(int tab) { w_.SetSlotHighlight(tab); }

IPage* CTavrin_rx_ctrl_v2Dlg::View::SimplePage() { return w_.simplePage_; }

IPage* CTavrin_rx_ctrl_v2Dlg::View::FullPage() {
    return w_.simplePage_ ? w_.simplePage_->FullPage() : nullptr;
}

void CTavrin_rx_ctrl_v2Dlg::View::ApplyModeToPages(int mode) {
    ApplyModeToPageControls(SimplePage(), FullPage(), mode);
}

void CTavrin_rx_ctrl_v2Dlg::View::ShowPleaseWait(const std::string& text, int progressMax) {
    if (!w_.pleaseWait_) w_.pleaseWait_ = new CPleaseWaitDialog(&w_);
    w_.pleaseWait_->SetText(text);
    w_.pleaseWait_->SetProgressRange(progressMax);
    w_.pleaseWait_->show();
    w_.pleaseWait_->raise();
    w_.pleaseWait_->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CTavrin_rx_ctrl_v2Dlg::View::SetPleaseWaitProgress(int position) {
    if (!w_.pleaseWait_) return;
    w_.pleaseWait_->SetProgress(position);
    w_.pleaseWait_->repaint();
}

void CTavrin_rx_ctrl_v2Dlg::View::HidePleaseWait() {
    delete w_.pleaseWait_;
    w_.pleaseWait_ = nullptr;
}

void CTavrin_rx_ctrl_v2Dlg::View::UnitAddressChanged(int address) {
    w_.unit_->unitAddress.store(address);
    w_.poll_->params.unitAddress.store(address);
}

// ----- slot tabs ------------------------------------------------------------------

void CTavrin_rx_ctrl_v2Dlg::SelectSlotTab(int tab) {
    if (tab < 0 || tab >= tabs_->count()) return;
    ++tabGuard_;
    tabs_->setCurrentIndex(tab);
    --tabGuard_;
    shownTab_ = tab;
    SetSlotHighlight(tab);
}

void CTavrin_rx_ctrl_v2Dlg::SetSlotHighlight(int tab) {
    highlightedTab_ = tab;
    for (int i = 0; i < tabs_->count(); ++i) {
        tabs_->setTabTextColor(i, i == tab ? ToneColour(TextTone::Emphasis, palette())
                                           : palette().color(QPalette::WindowText));
        tabs_->setTabData(i, i == tab);
    }
}

void CTavrin_rx_ctrl_v2Dlg::OnTabChanged(int tab) {
    if (tabGuard_ > 0 || tab < 0) return;
    // Leaving the old tab stores the working configuration into its slot.
    if (!session_->SaveConfigSlot()) {
        ++tabGuard_;
        tabs_->setCurrentIndex(shownTab_);
        --tabGuard_;
        return;
    }
    shownTab_ = tab;
    if (session_->LoadConfigSlot(tab)) NoteEvent(EventKind::SlotChanged, "Config " + std::to_string(tab + 1));
}

// ----- operations -------------------------------------------------------------------

void CTavrin_rx_ctrl_v2Dlg::ReadUnitConfig(bool disableButtons) { session_->ReadUnitConfig(disableButtons); }

void CTavrin_rx_ctrl_v2Dlg::SwitchDemodMode(int mode) {
    if (session_->SwitchDemodMode(mode)) NoteEvent(EventKind::ModeChanged, mode == 1 ? "DVBT" : "Narrowband");
}

void CTavrin_rx_ctrl_v2Dlg::RefreshSimplePage() { session_->RefreshSimplePage(); }

void CTavrin_rx_ctrl_v2Dlg::ApplySimplePage() { session_->ApplySimplePage(); }

void CTavrin_rx_ctrl_v2Dlg::OnSetUnitAddress(int address) {
    session_->SetUnitAddress(address);
    // The session tells the view; keep every copy in step whatever it did.
    unit_->unitAddress.store(address);
    poll_->params.unitAddress.store(address);
}
