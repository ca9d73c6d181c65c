// The full demodulator page ("Advanced options"): both demodulator columns,
// the decoder and general settings, and the RF/chaining input choice. A
// top-level window opened from the simple page; at most one at a time.
#pragma once
#include <QWidget>

#include "ui/qt_page.h"

class IPageHost;
class CSimpleDemodDialog;
class QPushButton;

class CDemodDialog : public QWidget, public QtPage {
    Q_OBJECT
public:
    CDemodDialog(IPageHost& host, CSimpleDemodDialog* simplePage);
    ~CDemodDialog() override;

    void EnableActionButtons(bool enable);

    void OnRefresh();
    void OnApply();
    void OnModeRadio(int id);
    void OnInputRadio(int id);

protected:
    void changeEvent(QEvent* event) override;
    // Escape closes the page, as the close box does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();

    IPageHost& host_;
    CSimpleDemodDialog* simple_;
    int lastModeRadio_ = 0;
    QPushButton* refresh_ = nullptr;
    QPushButton* apply_ = nullptr;
};
