// "Polling options": what the poll thread reads and how often.
#pragma once
#include <QDialog>

#include "link/messages.h"
#include "ui/control_ids.h"

class CPollingListDialog;
class CPollMiscDialog;
class QPushButton;
class QTabWidget;

class CPollingOptions : public QDialog, public IMessageTarget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 114;
    static constexpr int kIdTabs = ids::polling_options::kTabs;
    static constexpr int kIdApply = ids::polling_options::kApply;

    // The pages start from the current settings; `mainWindow` hears
    // WM_POLL_INTERVAL_CHANGED after a valid interval was applied.
    explicit CPollingOptions(IMessageTarget* mainWindow, QWidget* parent = nullptr);

    void OnApply();
    void OnOK();

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* applyButton() const { return apply_; }
    CPollingListDialog* listPage() const { return listPage_; }
    CPollMiscDialog* miscPage() const { return miscPage_; }

    // WM_PAGE_CHANGED from the pages enables Apply.
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

private:
    IMessageTarget* mainWindow_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* apply_ = nullptr;
    CPollingListDialog* listPage_ = nullptr;
    CPollMiscDialog* miscPage_ = nullptr;
};
