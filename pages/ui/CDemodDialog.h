// The full demodulator page ("Advanced options"): both demodulator columns,
// the decoder and general settings, and the RF/chaining input choice. A
// top-level window opened from the simple page; at most one at a time.
#pragma once
#include <QWidget>

#include "ui/qt_page.h"

class CTavrin_rx_ctrl_v2Dlg;
class CSimpleDemodDialog;
class QPushButton;

class CDemodDialog : public QWidget, public QtPage {
    Q_OBJECT
public:
    CDemodDialog(CTavrin_rx_ctrl_v2Dlg* mainWindow, CSimpleDemodDialog* simplePage);
    ~CDemodDialog() override;

    void EnableActionButtons(bool enable);

    void OnRefresh();
    void OnApply();
    void OnModeRadio(int id);
    void OnInputRadio(int id);

protected:
    intptr_t OnWindowMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildControls();

    CTavrin_rx_ctrl_v2Dlg* main_;
    CSimpleDemodDialog* simple_;
    int lastModeRadio_ = 0;
    QPushButton* refresh_ = nullptr;
    QPushButton* apply_ = nullptr;
};
