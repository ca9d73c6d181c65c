// "Engineering options": the modeless service window with the raw command page
// ("Diagnostic") and the advanced options ("Advanced options").
#pragma once
#include <QIcon>
#include <QWidget>
#include <functional>

#include "ui/control_ids.h"

class CAdvancedDialog;
class CDiagnosticDialog;
class CFerritRemoteControl;
class QTabWidget;

class CEngineeringDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 108;
    static constexpr int kIdTabs = ids::engineering::kTabs;

    // A top-level window that deletes itself when closed and then emits
    // closing(). `icon` is the user's icon, or the program's icon when none
    // is loaded. `unitAddress` is the address the Advanced options show.
    CEngineeringDialog(CFerritRemoteControl* link, int unitAddress, std::function<bool()> unitConnected,
                       const QIcon& icon);
    ~CEngineeringDialog() override;

    // Enter: sends the Diagnostic page's command while that tab is selected;
    // never closes the window.
    void OnOK();

    QTabWidget* tabs() const { return tabs_; }
    CDiagnosticDialog* diagnosticPage() const { return diagnosticPage_; }
    CAdvancedDialog* advancedPage() const { return advancedPage_; }

signals:
    // The Advanced options page applied a unit address.
    void unitAddressSet(int address);
    void closing();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    CFerritRemoteControl* link_;
    QTabWidget* tabs_ = nullptr;
    CDiagnosticDialog* diagnosticPage_ = nullptr;
    CAdvancedDialog* advancedPage_ = nullptr;
};
