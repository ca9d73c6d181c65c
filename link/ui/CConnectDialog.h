// "Connecting": shown while an attempt to reach the unit runs. Cancel ends it
// with the cancel result; the main window ends it with OK when the attempt is
// over. The connect thread waits for this window to exist before connecting.
#pragma once
#include <QDialog>
#include <string>

#include "ui/unit_events_qt.h"

class QLabel;
class QPushButton;

class CConnectDialog : public QDialog {
    Q_OBJECT
public:
    explicit CConnectDialog(QWidget* parent = nullptr);
    ~CConnectDialog() override;

    void SetText(const std::string& text);
    QPushButton* CancelButton() const { return cancel_; }
    QLabel* TextLabel() const { return text_; }
    // The window as the connect thread sees it (exists once shown).
    QtUnitEvents& Target() { return target_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* text_;
    QPushButton* cancel_;
    QtUnitEvents target_;
};
