// A child page of the advanced options made from a plain template: it reports
// every text change of its edits 1200-1201 and every selection change of its
// combos 1100-1108 by its signal changed(). The "General" page
// (dialog 118, the unit address) is one of these.
#pragma once
#include <QWidget>

#include "ui/control_ids.h"

class QLineEdit;

class CAdvTemplateDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGeneralDialogId = 118;
    static constexpr int kIdUnitAddress = ids::general_page::kUnitAddress;

    CAdvTemplateDialog(int dialogId, QWidget* parent);

    int dialogId() const { return dialogId_; }
    QLineEdit* edit(int id) const;

signals:
    void changed();

private:
    void BuildGeneral();
    void WatchControls();

    int dialogId_;
};
