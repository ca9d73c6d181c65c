#include "pages/ui/CBarrelDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/qt_page.h"
#include "pages/config_ops.h"

CBarrelDialog::CBarrelDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Choose a downconverter type"));
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    auto* layout = new QVBoxLayout(this);
    for (const DownconverterDefaults& c : kDownconverters) {
        auto* radio = new QRadioButton(QString::fromLatin1(c.caption), this);
        SetCtrlId(radio, c.radioId);
        // Plain radio buttons: the dialog checks them itself.
        radio->setAutoExclusive(false);
        const int id = c.radioId;
        connect(radio, &QRadioButton::clicked, this, [this, id] { OnRadio(id); });
        radios_.push_back(radio);
        layout->addWidget(radio);
    }

    auto* buttons = MakeOkCancelButtons(this, [this] { accept(); });
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    OnRadio(kDefaultDownconverterId);
}

QRadioButton* CBarrelDialog::radio(int id) const {
    for (size_t i = 0; i < radios_.size(); ++i)
        if (kDownconverters[i].radioId == id) return radios_[i];
    return nullptr;
}

void CBarrelDialog::OnRadio(int id) {
    if (!radio(id)) return;
    for (size_t i = 0; i < radios_.size(); ++i) radios_[i]->setChecked(kDownconverters[i].radioId == id);
    choice_ = id;
}
