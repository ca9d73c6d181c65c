#include "ui/CPleaseWaitDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "ui/control_ids.h"
#include "ui/qt_page.h"

CPleaseWaitDialog::CPleaseWaitDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog_105"));
    setWindowTitle(QStringLiteral("Please wait"));
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    text_ = SetCtrlId(new QLabel(QStringLiteral("Please wait while the unit changes mode..."), this), ids::please_wait::kText);
    text_->setAlignment(Qt::AlignCenter);
    text_->setWordWrap(true);
    bar_ = SetCtrlId(new QProgressBar(this), ids::please_wait::kProgress);
    bar_->setTextVisible(false);
    bar_->setAccessibleName(QStringLiteral("Progress"));
    layout->addWidget(text_);
    layout->addWidget(bar_);
    setMinimumWidth(330);
}

void CPleaseWaitDialog::SetText(const std::string& text) { text_->setText(QString::fromStdString(text)); }

void CPleaseWaitDialog::SetProgressRange(int maximum) {
    bar_->setVisible(maximum >= 0);
    if (maximum >= 0) {
        bar_->setRange(0, maximum);
        bar_->setValue(0);
    }
}

void CPleaseWaitDialog::SetProgress(int position) { bar_->setValue(position); }
