// "Choose a downconverter type": asked before Restore defaults.
#pragma once
#include <QDialog>
#include <vector>

#include "pages/config_ops.h"

class QRadioButton;

class CBarrelDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 119;

    explicit CBarrelDialog(QWidget* parent = nullptr);

    // The radio id of the chosen downconverter (1005 until another is clicked).
    int choice() const { return choice_; }
    QRadioButton* radio(int id) const;

    // A click on radio `id`: checks it, unchecks the others and keeps the id.
    void OnRadio(int id);

private:
    std::vector<QRadioButton*> radios_;
    int choice_ = kDefaultDownconverterId;
};
