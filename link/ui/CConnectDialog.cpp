#include "link/ui/CConnectDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/control_ids.h"
#include "ui/qt_page.h"

CConnectDialog::CConnectDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog_106"));
    setWindowTitle(QStringLiteral("Connecting"));
    setModal(true);
    target_.SetWindowExists(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(12);
    text_ = SetCtrlId(new QLabel(QStringLiteral("Attempting to connect..."), this), ids::connecting::kText);
    text_->setAlignment(Qt::AlignCenter);
    text_->setMinimumWidth(220);
    layout->addWidget(text_);
    cancel_ = SetCtrlId(new QPushButton(QStringLiteral("Cancel"), this), 2);
    cancel_->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(cancel_);
    row->addStretch(1);
    layout->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

CConnectDialog::~CConnectDialog() { target_.Shutdown(); }

void CConnectDialog::SetText(const std::string& text) { text_->setText(QString::fromStdString(text)); }

void CConnectDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    target_.SetWindowExists(true);
}
