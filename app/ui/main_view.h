// The main window as the view of its unit session (private to the main window).
#pragma once
#include "app/ui/CTavrin_rx_ctrl_v2Dlg.h"
#include "app/unit_session.h"
#include "params/poll_thread.h"

struct CTavrin_rx_ctrl_v2Dlg::PollState {
    PollThreadParams params;
    CPollThread thread;
};

class CTavrin_rx_ctrl_v2Dlg::View : public IUnitView {
public:
    explicit View(CTavrin_rx_ctrl_v2Dlg& window) : w_(window) {}
    bool UnitConnected() const override;
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    void EnableActionButtons(bool enable) override;
    void SelectSlotTab(int tab) override;
    void SetSlotHighlight(int tab) override;
    IPage* SimplePage() override;
    IPage* FullPage() override;
    void ApplyModeToPages(int mode) override;
    void ShowPleaseWait(const std::string& text, int progressMax) override;
    void SetPleaseWaitProgress(int position) override;
    void HidePleaseWait() override;
    void UnitAddressChanged(int address) override;

private:
    CTavrin_rx_ctrl_v2Dlg& w_;
};
