#include "app/ui/CAboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/settings.h"
#include "platform/version.h"
#include "ui/program_icon.h"
#include "ui/control_ids.h"
#include "ui/qt_page.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog_100"));
    setWindowTitle(QStringLiteral("About receiver control"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(16);
    icon_ = SetCtrlId(new QLabel(this), ids::about::kPicture);
    icon_->setPixmap(ProgramIconOrDefault().pixmap(32, 32));
    icon_->setFixedSize(36, 36);
    icon_->setAlignment(Qt::AlignCenter);
    // "%s v%s" with the title and the version, at most 63 characters.
    std::string text = AppSettings.AppTitle.value_or(std::string()) + " v" + ProgramVersion();
    if (text.size() > 63) text.resize(63);
    text_ = SetCtrlId(new QLabel(QString::fromStdString(text), this), ids::about::kText);
    text_->setMinimumWidth(220);
    // Where the settings and the logs are kept (portable or installed).
    files_ = new QLabel(QString::fromStdString(FilePlacesText()), this);
    files_->setObjectName(QStringLiteral("about_files"));
    files_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = SetCtrlId(new QPushButton(QStringLiteral("OK"), this), 1);
    ok->setDefault(true);
    grid->addWidget(icon_, 0, 0, Qt::AlignTop);
    grid->addWidget(text_, 0, 1, Qt::AlignVCenter);
    grid->addWidget(files_, 1, 1);
    grid->addWidget(ok, 2, 1, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
