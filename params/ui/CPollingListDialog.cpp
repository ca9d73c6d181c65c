#include "params/ui/CPollingListDialog.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "ui/qt_page.h"

namespace {
const char* const kItemCaptions[4] = {"Demod lock", "Decoder lock", "SNR", "Input levels"};
}  // namespace

CPollingListDialog::CPollingListDialog(const uint8_t (&flags)[4], QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));
    auto* layout = new QVBoxLayout(this);
    for (int item = 0; item < 4; ++item) {
        flags_[size_t(item)] = flags[item];
        const int id = kFirstCheckId + 10 * item;
        auto* box = new QCheckBox(QString::fromLatin1(kItemCaptions[item]), this);
        SetCtrlId(box, id);
        box->setChecked(flags[item] != 0);
        connect(box, &QCheckBox::clicked, this, [this, id] { OnCheck(id); });
        boxes_[size_t(item)] = box;
        layout->addWidget(box);
    }
    layout->addStretch();
}

void CPollingListDialog::OnCheck(int id) {
    const int item = (id - kFirstCheckId) / 10;
    if (item < 0 || item > 3) return;
    flags_[size_t(item)] = boxes_[size_t(item)]->isChecked() ? 1 : 0;
    emit changed();
}
