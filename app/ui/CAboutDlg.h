// The About box: the application's title and version beside its icon, and
// where the settings and log files are kept.
#pragma once
#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QLabel* TitleLabel() const { return text_; }
    QLabel* IconLabel() const { return icon_; }
    QLabel* FilesLabel() const { return files_; }

private:
    QLabel* text_;
    QLabel* icon_;
    QLabel* files_;
};
