#include "app/ui/CLogoSizeDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "ui/accessible.h"
#include "ui/qt_page.h"

int LeadingNumber(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
        value = value * 10 + (t[i].unicode() - u'0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return int(negative ? -value : value);
}

CUpDownControl::CUpDownControl(QLineEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), buddy_(buddy), min_(minimum), max_(std::max(minimum, maximum)) {
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFixedSize(18, 11);
        b->setFocusPolicy(Qt::NoFocus);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    buddy_->installEventFilter(this);
}

void CUpDownControl::SetNames(const QString& name) {
    setAccessibleName(name + QStringLiteral(" arrows"));
    up_->setAccessibleName(name + QStringLiteral(" up"));
    down_->setAccessibleName(name + QStringLiteral(" down"));
}

bool CUpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CUpDownControl::Step(int delta) {
    const int value = std::clamp(LeadingNumber(buddy_->text()) + delta, min_, max_);
    buddy_->setText(QString::number(value));
}

CLogoSizeDialog::CLogoSizeDialog(int logoHeight, int logoWidth, int areaHeight, int areaWidth,
                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Set logo dimensions"));
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    heightEdit_ = new QLineEdit(QString::number(logoHeight), this);
    widthEdit_ = new QLineEdit(QString::number(logoWidth), this);
    SetCtrlId(heightEdit_, kIdHeight);
    SetCtrlId(widthEdit_, kIdWidth);
    heightUpDown_ = new CUpDownControl(heightEdit_, 0, areaHeight, this);
    widthUpDown_ = new CUpDownControl(widthEdit_, 0, areaWidth, this);
    SetCtrlId(heightUpDown_, kIdHeightUpDown);
    SetCtrlId(widthUpDown_, kIdWidthUpDown);
    for (QLineEdit* e : {heightEdit_, widthEdit_}) e->setFixedWidth(70);

    auto* grid = new QGridLayout;
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Logo height"), heightEdit_, this), 0, 0);
    heightUpDown_->SetNames(QStringLiteral("Logo height"));
    auto* hRow = new QHBoxLayout;
    hRow->setSpacing(1);
    hRow->addWidget(heightEdit_);
    hRow->addWidget(heightUpDown_);
    hRow->addStretch();
    grid->addLayout(hRow, 0, 1);
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Logo width"), widthEdit_, this), 1, 0);
    widthUpDown_->SetNames(QStringLiteral("Logo width"));
    auto* wRow = new QHBoxLayout;
    wRow->setSpacing(1);
    wRow->addWidget(widthEdit_);
    wRow->addWidget(widthUpDown_);
    wRow->addStretch();
    grid->addLayout(wRow, 1, 1);

    auto* buttons = MakeOkCancelButtons(this, [this] { OnOK(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CLogoSizeDialog::OnOK() {
    height_ = LeadingNumber(heightEdit_->text());
    width_ = LeadingNumber(widthEdit_->text());
    accept();
}
