// A child page of the advanced options made from a plain template: it reports
// every text change of its edits 1200-1201 and every selection change of its
// combos 1100-1108 to its container with WM_PAGE_CHANGED. The "General" page
// (dialog 118, the unit address) is one of these.
#pragma once
#include <QWidget>

#include "ui/control_ids.h"

class IMessageTarget;
class QLineEdit;

class CAdvTemplateDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGeneralDialogId = 118;
    static constexpr int kIdUnitAddress = ids::general_page::kUnitAddress;

    CAdvTemplateDialog(int dialogId, IMessageTarget* container, QWidget* parent);

    int dialogId() const { return dialogId_; }
    QLineEdit* edit(int id) const;

private:
    void BuildGeneral();
    void WatchControls();

    IMessageTarget* container_;
    int dialogId_;
};
