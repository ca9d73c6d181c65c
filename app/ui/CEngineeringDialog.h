// "Engineering options": the modeless service window with the raw command page
// ("Diagnostic") and the advanced options ("Advanced options").
#pragma once
#include <QIcon>
#include <QWidget>
#include <functional>

#include "link/messages.h"
#include "ui/control_ids.h"

class CAdvancedDialog;
class CDiagnosticDialog;
class CFerritRemoteControl;
class QTabWidget;

class CEngineeringDialog : public QWidget, public IMessageTarget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 108;
    static constexpr int kIdTabs = ids::engineering::kTabs;

    // A top-level window that deletes itself when closed and then sends
    // WM_ENGINEERING_CLOSED to `mainWindow`. `icon` is the user's icon, or the
    // program's icon when none is loaded. `unitAddress` is the address the
    // Advanced options show.
    CEngineeringDialog(IMessageTarget* mainWindow, CFerritRemoteControl* link, int unitAddress,
                       std::function<bool()> unitConnected, const QIcon& icon);
    ~CEngineeringDialog() override;

    // Enter: sends the Diagnostic page's command while that tab is selected;
    // never closes the window.
    void OnOK();

    QTabWidget* tabs() const { return tabs_; }
    CDiagnosticDialog* diagnosticPage() const { return diagnosticPage_; }
    CAdvancedDialog* advancedPage() const { return advancedPage_; }

    // WM_SET_UNIT_ADDRESS from the Advanced options page goes on to the main window.
    void PostMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    intptr_t SendMsg(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    IMessageTarget* mainWindow_;
    CFerritRemoteControl* link_;
    QTabWidget* tabs_ = nullptr;
    CDiagnosticDialog* diagnosticPage_ = nullptr;
    CAdvancedDialog* advancedPage_ = nullptr;
};
