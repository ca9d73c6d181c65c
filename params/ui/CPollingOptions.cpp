#include "params/ui/CPollingOptions.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <atomic>

#include "app/settings.h"
#include "ui/prompts.h"
#include "params/ui/CPollMiscDialog.h"
#include "params/ui/CPollingListDialog.h"
#include "params/sample_ring.h"
#include "ui/qt_page.h"

CPollingOptions::CPollingOptions(IMessageTarget* mainWindow, QWidget* parent)
    : QDialog(parent), mainWindow_(mainWindow) {
    setWindowTitle(QStringLiteral("Polling options"));
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    tabs_ = new QTabWidget(this);
    SetCtrlId(tabs_, kIdTabs);
    listPage_ = new CPollingListDialog(AppSettings.PollItemFlags, this, tabs_);
    miscPage_ = new CPollMiscDialog(AppSettings.PollIntervalMs, this, tabs_);
    tabs_->addTab(listPage_, QStringLiteral("Polling list"));
    tabs_->addTab(miscPage_, QStringLiteral("Miscellaneous"));
    tabs_->setCurrentIndex(0);

    auto* buttons = MakeOkCancelButtons(this, [this] { OnOK(); });
    apply_ = SetCtrlId(buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::ApplyRole), kIdApply);
    connect(apply_, &QPushButton::clicked, this, &CPollingOptions::OnApply);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    setMinimumWidth(300);

    apply_->setEnabled(false);
}

void CPollingOptions::OnApply() {
    // The poll thread reads the flags at each cycle without a lock.
    const auto& flags = listPage_->flags();
    for (size_t i = 0; i < 4; ++i)
        std::atomic_ref<uint8_t>(AppSettings.PollItemFlags[i]).store(flags[i]);

    // The signal history's ring holds 24 hours at the fastest interval allowed.
    const int interval = ParsePollInterval(miscPage_->intervalText());
    if (interval >= int(kMinPollIntervalMs)) {
        AppSettings.PollIntervalMs = interval;
        if (mainWindow_) mainWindow_->SendMsg(WM_POLL_INTERVAL_CHANGED, 0, 0);
    } else {
        ShowError("Invalid polling interval");
    }
    apply_->setEnabled(false);
}

void CPollingOptions::OnOK() {
    OnApply();
    accept();
}

void CPollingOptions::PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    SendMsg(msg, wParam, lParam);
}

intptr_t CPollingOptions::SendMsg(uint32_t msg, uintptr_t, intptr_t) {
    if (msg == WM_PAGE_CHANGED) apply_->setEnabled(true);
    return 0;
}
