#include "pages/ui/CAdvancedDialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/settings.h"
#include "ui/qt_page.h"
#include "pages/ui/CAdvTemplateDialog.h"
#include "pages/ui/CSerialCtrlDialog.h"

namespace {
// Leading decimal digits of at most four characters; 0 when there are none.
int AddressNumber(const QString& text) {
    int value = 0;
    for (QChar c : text.left(4)) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}
}  // namespace

CAdvancedDialog::CAdvancedDialog(CFerritRemoteControl* link, int unitAddress, QWidget* parent)
    : QWidget(parent), link_(link) {
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    tabs_ = SetCtrlId(new QTabWidget(this), kIdTabs);
    general_ = new CAdvTemplateDialog(CAdvTemplateDialog::kGeneralDialogId, tabs_);
    serial_ = new CSerialCtrlDialog(link_, tabs_);
    // A change on either page enables Apply (once it exists).
    auto changed = [this] {
        if (apply_) apply_->setEnabled(true);
    };
    connect(general_, &CAdvTemplateDialog::changed, this, changed);
    connect(serial_, &CSerialCtrlDialog::changed, this, changed);
    tabs_->addTab(general_, QStringLiteral("General"));
    tabs_->addTab(serial_, QStringLiteral("Serial control"));
    tabs_->setCurrentIndex(0);

    QLineEdit* address = general_->edit(CAdvTemplateDialog::kIdUnitAddress);
    address->setMaxLength(4);
    address->setText(QString::asprintf("%04d", unitAddress));

    apply_ = SetCtrlId(new QPushButton(QStringLiteral("Apply"), this), kIdApply);
    apply_->setAutoDefault(false);
    connect(apply_, &QPushButton::clicked, this, &CAdvancedDialog::OnApply);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    apply_->setEnabled(false);
}

void CAdvancedDialog::OnApply() {
    if (tabs_->currentIndex() == 0) {
        const int address = AddressNumber(general_->edit(CAdvTemplateDialog::kIdUnitAddress)->text());
        emit unitAddressSet(address);
    } else {
        serial_->Apply();
    }
    apply_->setEnabled(false);
}
