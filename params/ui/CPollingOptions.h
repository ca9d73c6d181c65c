// "Polling options": what the poll thread reads and how often.
#pragma once
#include <QDialog>

#include "ui/control_ids.h"

class CPollingListDialog;
class CPollMiscDialog;
class QPushButton;
class QTabWidget;

class CPollingOptions : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 114;
    static constexpr int kIdTabs = ids::polling_options::kTabs;
    static constexpr int kIdApply = ids::polling_options::kApply;

    // The pages start from the current settings; intervalChanged() follows a
    // valid interval applied.
    explicit CPollingOptions(QWidget* parent = nullptr);

    void OnApply();
    void OnOK();

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* applyButton() const { return apply_; }
    CPollingListDialog* listPage() const { return listPage_; }
    CPollMiscDialog* miscPage() const { return miscPage_; }

signals:
    void intervalChanged();

private:
    QTabWidget* tabs_ = nullptr;
    QPushButton* apply_ = nullptr;
    CPollingListDialog* listPage_ = nullptr;
    CPollMiscDialog* miscPage_ = nullptr;
};
