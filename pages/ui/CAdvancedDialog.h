// "Advanced options" tab of the engineering window: the "General" page (unit
// address) and the "Serial control" page behind a tab control, and an Apply
// button that applies the page shown.
#pragma once
#include <QWidget>

#include "link/messages.h"
#include "ui/control_ids.h"

class CAdvTemplateDialog;
class CFerritRemoteControl;
class CSerialCtrlDialog;
class QPushButton;
class QTabWidget;

class CAdvancedDialog : public QWidget, public IMessageTarget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 110;
    static constexpr int kIdTabs = ids::advanced::kTabs;
    static constexpr int kIdApply = ids::advanced::kApply;

    // `container` (the engineering window) hears WM_SET_UNIT_ADDRESS; the
    // General page starts with `unitAddress`.
    CAdvancedDialog(IMessageTarget* container, CFerritRemoteControl* link, int unitAddress, QWidget* parent);

    void OnApply();

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* applyButton() const { return apply_; }
    CAdvTemplateDialog* generalPage() const { return general_; }
    CSerialCtrlDialog* serialPage() const { return serial_; }

    // WM_PAGE_CHANGED from the pages enables Apply.
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

private:
    IMessageTarget* container_;
    CFerritRemoteControl* link_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* apply_ = nullptr;
    CAdvTemplateDialog* general_ = nullptr;
    CSerialCtrlDialog* serial_ = nullptr;
};
