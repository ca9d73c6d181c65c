// "Advanced options" tab of the engineering window: the "General" page (unit
// address) and the "Serial control" page behind a tab control, and an Apply
// button that applies the page shown.
#pragma once
#include <QWidget>

#include "ui/control_ids.h"

class CAdvTemplateDialog;
class CFerritRemoteControl;
class CSerialCtrlDialog;
class QPushButton;
class QTabWidget;

class CAdvancedDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 110;
    static constexpr int kIdTabs = ids::advanced::kTabs;
    static constexpr int kIdApply = ids::advanced::kApply;

    // Apply on the "General" page is told by unitAddressSet(); the page
    // starts with `unitAddress`.
    CAdvancedDialog(CFerritRemoteControl* link, int unitAddress, QWidget* parent);

    void OnApply();

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* applyButton() const { return apply_; }
    CAdvTemplateDialog* generalPage() const { return general_; }
    CSerialCtrlDialog* serialPage() const { return serial_; }

signals:
    void unitAddressSet(int address);

private:
    CFerritRemoteControl* link_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* apply_ = nullptr;
    CAdvTemplateDialog* general_ = nullptr;
    CSerialCtrlDialog* serial_ = nullptr;
};
