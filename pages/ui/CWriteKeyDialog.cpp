#include "pages/ui/CWriteKeyDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "pages/key_check.h"
#include "ui/accessible.h"
#include "ui/operator_texts.h"
#include "ui/prompts.h"
#include "ui/qt_page.h"

namespace {
// The lower key's label in the template's layout and for an AES256 key.
const char* const kLowerAes256Label = "AES256 key (lower)";
}  // namespace

CWriteKeyDialog::CWriteKeyDialog(int keyType, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kTextWriteKey));
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    combo_ = new QComboBox(this);
    SetCtrlId(combo_, kIdKeyType);
    for (int type : {KeyTypeAbs, KeyTypeAes128, KeyTypeAes256}) combo_->addItem(QString::fromLatin1(KeyTypeName(type)));
    combo_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    // The template's layout: both fields shown, no selection.
    lowerLabel_ = new QLabel(QString::fromLatin1(kLowerAes256Label), this);
    upperLabel_ = new QLabel(QStringLiteral("AES256 key (upper)"), this);
    SetCtrlId(lowerLabel_, kIdLowerLabel);
    SetCtrlId(upperLabel_, kIdUpperLabel);
    lowerEdit_ = new QLineEdit(this);
    upperEdit_ = new QLineEdit(this);
    SetCtrlId(lowerEdit_, kIdLowerKey);
    SetCtrlId(upperEdit_, kIdUpperKey);
    upperEdit_->setMaxLength(32);
    lowerEdit_->setMaxLength(32);
    const int digitWidth = lowerEdit_->fontMetrics().horizontalAdvance(QString(32, u'D'));
    lowerEdit_->setMinimumWidth(digitWidth + 16);
    upperEdit_->setMinimumWidth(digitWidth + 16);

    auto* grid = new QGridLayout;
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Key type"), combo_, this), 0, 0);
    // The key labels change with the key type; the fields' names follow them.
    lowerLabel_->setBuddy(lowerEdit_);
    upperLabel_->setBuddy(upperEdit_);
    grid->addWidget(combo_, 0, 1, Qt::AlignLeft);
    grid->addWidget(lowerLabel_, 1, 0);
    grid->addWidget(lowerEdit_, 1, 1);
    grid->addWidget(upperLabel_, 2, 0);
    grid->addWidget(upperEdit_, 2, 1);

    auto* buttons = MakeOkCancelButtons(this, [this] { OnOK(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    keyType_ = keyType;
    if (keyType >= KeyTypeAbs && keyType <= KeyTypeAes256) {
        combo_->setCurrentIndex(keyType);
        LayoutForType(keyType);
    } else {
        combo_->setCurrentIndex(-1);
    }
    connect(combo_, &QComboBox::currentIndexChanged, this, &CWriteKeyDialog::OnSelChangeKeyType);
    lowerEdit_->setFocus();
}

void CWriteKeyDialog::LayoutForType(int keyType) {
    switch (keyType) {
    case KeyTypeAbs: lowerLabel_->setText(QStringLiteral("ABS key")); break;
    case KeyTypeAes128: lowerLabel_->setText(QStringLiteral("AES128 key")); break;
    case KeyTypeAes256: lowerLabel_->setText(QString::fromLatin1(kLowerAes256Label)); break;
    default: return;
    }
    const bool two = keyType == KeyTypeAes256;
    upperLabel_->setVisible(two);
    upperEdit_->setVisible(two);
    // Shortening the limit cuts a longer text to its first digits.
    lowerEdit_->setMaxLength(KeyDigits(keyType));
}

void CWriteKeyDialog::OnSelChangeKeyType(int index) {
    keyType_ = index;
    LayoutForType(index);
}

void CWriteKeyDialog::OnOK() {
    if (combo_->currentIndex() < 0) return;
    keyType_ = combo_->currentIndex();
    const KeyCheckResult r = CheckKeyFields(keyType_, lowerEdit_->text().toStdString(),
                                            upperEdit_->text().toStdString());
    if (!r.accepted) {
        if (!r.message.empty()) ShowError(r.message);
        return;
    }
    lower_ = r.lower;
    upper_ = r.upper;
    accept();
}
