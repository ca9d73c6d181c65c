#include "pages/ui/CEnterValueDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt_page.h"

CEnterValueDialog::CEnterValueDialog(const QString& prompt, const QString& initialText,
                                     int maxChars, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Enter value"));
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    prompt_ = new QLabel(prompt, this);
    SetCtrlId(prompt_, kIdPrompt);
    prompt_->setWordWrap(true);

    edit_ = new QLineEdit(this);
    SetCtrlId(edit_, kIdEdit);
    if (maxChars > 0) edit_->setMaxLength(maxChars);
    edit_->setText(initialText);
    edit_->setMinimumWidth(260);
    // The prompt names the field.
    prompt_->setBuddy(edit_);

    auto* buttons = MakeOkCancelButtons(this, [this] { OnOK(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(edit_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    edit_->setFocus();
    edit_->selectAll();
}

void CEnterValueDialog::OnOK() {
    value_ = edit_->text().left(kMaxResultChars);
    accept();
}
