#include "params/ui/CPollMiscDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/accessible.h"
#include "ui/qt_page.h"

int ParsePollInterval(const QString& text) {
    const QString t = text.left(CPollMiscDialog::kMaxChars);
    int i = 0;
    while (i < t.size() && t[i].isSpace()) ++i;
    if (i < t.size() && t[i] == u'+') ++i;
    long value = 0;
    bool any = false;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
        value = value * 10 + (t[i].unicode() - u'0');
        any = true;
    }
    return any && value > 0 ? int(value) : 0;
}

CPollMiscDialog::CPollMiscDialog(int intervalMs, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));
    edit_ = new QLineEdit(this);
    SetCtrlId(edit_, kIdInterval);
    edit_->setMaxLength(kMaxChars);
    edit_->setText(QString::number(intervalMs));
    edit_->setFixedWidth(edit_->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 12);
    connect(edit_, &QLineEdit::textChanged, this, &CPollMiscDialog::changed);

    auto* row = new QHBoxLayout;
    row->addWidget(MakeBuddyLabel(QStringLiteral("Polling interval (ms)"), edit_, this));
    row->addWidget(edit_);
    row->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch();
}

QString CPollMiscDialog::intervalText() const {
    return edit_->text().left(kMaxChars);
}
