// "Please wait": a modeless window shown while the unit changes mode or while a
// configuration set is saved or loaded. Its users set the text and the bar.
#pragma once
#include <QDialog>
#include <string>

class QLabel;
class QProgressBar;

class CPleaseWaitDialog : public QDialog {
    Q_OBJECT
public:
    explicit CPleaseWaitDialog(QWidget* parent = nullptr);
    void SetText(const std::string& text);
    // maximum < 0 hides the bar; otherwise the bar runs from 0 to maximum.
    void SetProgressRange(int maximum);
    void SetProgress(int position);
    QLabel* TextLabel() const { return text_; }
    QProgressBar* ProgressBar() const { return bar_; }

protected:
    void reject() override {}   // no buttons; Escape does not end it

private:
    QLabel* text_;
    QProgressBar* bar_;
};
