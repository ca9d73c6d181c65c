#include "app/ui/CEngineeringDialog.h"

#include <QKeyEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/qt_page.h"
#include "link/ui/CDiagnosticDialog.h"
#include "pages/ui/CAdvancedDialog.h"

CEngineeringDialog::CEngineeringDialog(CFerritRemoteControl* link, int unitAddress, std::function<bool()> unitConnected,
                                       const QIcon& icon)
    : QWidget(nullptr, Qt::Window), link_(link) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));
    setWindowTitle(QStringLiteral("Engineering options"));
    setWindowIcon(icon);

    tabs_ = SetCtrlId(new QTabWidget(this), kIdTabs);
    diagnosticPage_ = new CDiagnosticDialog(link_, std::move(unitConnected), tabs_);
    advancedPage_ = new CAdvancedDialog(link_, unitAddress, tabs_);
    connect(advancedPage_, &CAdvancedDialog::unitAddressSet, this, &CEngineeringDialog::unitAddressSet);
    tabs_->addTab(diagnosticPage_, QStringLiteral("Diagnostic"));
    tabs_->addTab(advancedPage_, QStringLiteral("Advanced options"));
    tabs_->setCurrentIndex(0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    resize(620, 380);
}

CEngineeringDialog::~CEngineeringDialog() {
    emit closing();
}

void CEngineeringDialog::OnOK() {
    if (tabs_->currentIndex() == 0) diagnosticPage_->OnSendCommand();
}

void CEngineeringDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OnOK();
        event->accept();
        return;
    case Qt::Key_Escape:
        close();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
