#include "pages/ui/CAdvTemplateDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/accessible.h"
#include "ui/control_ids.h"
#include "ui/qt_page.h"

CAdvTemplateDialog::CAdvTemplateDialog(int dialogId, QWidget* parent) : QWidget(parent), dialogId_(dialogId) {
    setObjectName(QStringLiteral("dlg_%1").arg(dialogId));
    if (dialogId == kGeneralDialogId) BuildGeneral();
    WatchControls();
}

void CAdvTemplateDialog::BuildGeneral() {
    auto* edit = SetCtrlId(new QLineEdit(this), kIdUnitAddress);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    auto* row = new QHBoxLayout;
    row->addWidget(MakeBuddyLabel(QStringLiteral("Unit address"), edit, this));
    row->addWidget(edit);
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch();
}

void CAdvTemplateDialog::WatchControls() {
    auto changed = [this] { emit this->changed(); };
    for (int id = ids::general_page::kFirstEdit; id <= ids::general_page::kLastEdit; ++id)
        if (auto* e = qobject_cast<QLineEdit*>(FindControl(this, id)))
            connect(e, &QLineEdit::textChanged, this, changed);
    for (int id = ids::general_page::kFirstList; id <= ids::general_page::kLastList; ++id)
        if (auto* c = qobject_cast<QComboBox*>(FindControl(this, id)))
            connect(c, &QComboBox::currentIndexChanged, this, changed);
}

QLineEdit* CAdvTemplateDialog::edit(int id) const {
    return qobject_cast<QLineEdit*>(FindControl(this, id));
}
