#include "pages/ui/CSerialCtrlDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/settings.h"
#include "ui/accessible.h"
#include "ui/qt_page.h"
#include "link/remote_control.h"

const std::array<uint32_t, 15> CSerialCtrlDialog::kBaudRates = kSerialBaudRates;

namespace {
const char* const kTimeoutLabels[5] = {
    "Read interval timeout (ms)",     "Read total timeout multiplier",
    "Read total timeout constant (ms)", "Write total timeout multiplier",
    "Write total timeout constant (ms)"};

int32_t* SavedTimeout(int which) {
    switch (which) {
    case 0: return &AppSettings.ReadIntervalTimeout;
    case 1: return &AppSettings.ReadTotalTimeoutMultiplier;
    case 2: return &AppSettings.ReadTotalTimeoutConstant;
    case 3: return &AppSettings.WriteTotalTimeoutMultiplier;
    default: return &AppSettings.WriteTotalTimeoutConstant;
    }
}

// Leading decimal digits of a digits-only edit; 0 when there are none.
uint32_t EditNumber(const QString& text) {
    uint32_t value = 0;
    for (QChar c : text.left(CSerialCtrlDialog::kMaxChars)) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + uint32_t(c.unicode() - u'0');
    }
    return value;
}
}  // namespace

CSerialCtrlDialog::CSerialCtrlDialog(CFerritRemoteControl* link, QWidget* parent)
    : QWidget(parent), link_(link), baudRate_(link ? link->BaudRate() : 0) {
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    auto* grid = new QGridLayout;
    combo_ = SetCtrlId(new QComboBox(this), kIdBaud);
    int selected = -1;
    for (size_t i = 0; i < kBaudRates.size(); ++i) {
        combo_->addItem(QString::number(kBaudRates[i]));
        if (kBaudRates[i] == baudRate_) selected = int(i);
    }
    combo_->setCurrentIndex(selected);
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Baudrate"), combo_, this), 0, 0);
    grid->addWidget(combo_, 0, 1);

    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (int which = 0; which < 5; ++which) {
        auto* edit = SetCtrlId(new QLineEdit(this), kIdFirstTimeout + which);
        edit->setValidator(digits);
        edit->setMaxLength(kMaxChars);
        edit->setText(QString::number(LinkTimeout(which)));
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("000000000")) + 12);
        edits_[size_t(which)] = edit;
        grid->addWidget(MakeBuddyLabel(QString::fromLatin1(kTimeoutLabels[which]), edit, this), which + 1, 0);
        grid->addWidget(edit, which + 1, 1);
        connect(edit, &QLineEdit::textChanged, this, [this] {
            emit changed();
        });
    }
    grid->setColumnStretch(2, 1);
    connect(combo_, &QComboBox::currentIndexChanged, this, &CSerialCtrlDialog::OnSelChangeBaud);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
}

uint32_t CSerialCtrlDialog::LinkTimeout(int which) const {
    if (!link_) return 0;
    SerialTimeouts kept = link_->CommTimeouts();
    const uint32_t* field = SerialTimeoutField(kept, which);
    return field ? *field : kept.writeTotalConstant;
}

void CSerialCtrlDialog::OnSelChangeBaud(int index) {
    if (index >= 0 && size_t(index) < kBaudRates.size()) baudRate_ = kBaudRates[size_t(index)];
    emit changed();
}

void CSerialCtrlDialog::Apply() {
    if (!link_) return;
    // The baud rate goes to the link only; the saved settings keep theirs.
    if (baudRate_ != link_->BaudRate()) link_->SetBaudRate(baudRate_);
    for (int which = 0; which < 5; ++which) {
        const uint32_t value = EditNumber(edits_[size_t(which)]->text());
        *SavedTimeout(which) = int32_t(value);
        if (value != LinkTimeout(which)) link_->SetCommTimeout(which, value);
    }
}
