// "Enter value": asks the operator for one line of text (the application
// title, for example).
#pragma once
#include <QDialog>
#include <QString>

#include "ui/control_ids.h"

class QLabel;
class QLineEdit;

class CEnterValueDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 116;
    static constexpr int kIdPrompt = ids::enter_value::kPrompt;
    static constexpr int kIdEdit = ids::enter_value::kEdit;
    static constexpr int kMaxResultChars = 49;

    CEnterValueDialog(const QString& prompt, const QString& initialText, int maxChars,
                      QWidget* parent = nullptr);

    // The text accepted with OK (at most 49 characters); empty before OK.
    QString value() const { return value_; }

    QLineEdit* edit() const { return edit_; }

private:
    void OnOK();

    QLabel* prompt_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QString value_;
};
