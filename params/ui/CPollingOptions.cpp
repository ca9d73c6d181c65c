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

CPollingOptions::CPollingOptions(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Polling options"));
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    tabs_ = new QTabWidget(this);
    SetCtrlId(tabs_, kIdTabs);
    listPage_ = new CPollingListDialog(AppSettings.PollItemFlags, tabs_);
    miscPage_ = new CPollMiscDialog(AppSettings.PollIntervalMs, tabs_);
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
    // A change on either page enables Apply.
    connect(listPage_, &CPollingListDialog::changed, apply_, [this] { apply_->setEnabled(true); });
    connect(miscPage_, &CPollMiscDialog::changed, apply_, [this] { apply_->setEnabled(true); });
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
        emit intervalChanged();
    } else {
        ShowError("Invalid polling interval");
    }
    apply_->setEnabled(false);
}

void CPollingOptions::OnOK() {
    OnApply();
    accept();
}
