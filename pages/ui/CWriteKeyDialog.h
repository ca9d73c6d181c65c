// "Write decryption key": collects and checks a descrambling key; the main
// window sends it.
#pragma once
#include <QDialog>
#include <string>

#include "ui/control_ids.h"

class QComboBox;
class QLabel;
class QLineEdit;

class CWriteKeyDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 112;
    static constexpr int kIdKeyType = ids::write_key::kKeyType;
    static constexpr int kIdLowerLabel = ids::write_key::kLowerLabel;
    static constexpr int kIdUpperLabel = ids::write_key::kUpperLabel;
    static constexpr int kIdLowerKey = ids::write_key::kLowerKey;
    static constexpr int kIdUpperKey = ids::write_key::kUpperKey;

    // `keyType` 0 ABS, 1 AES128, 2 AES256; any other value opens with no
    // selection and both key fields shown.
    explicit CWriteKeyDialog(int keyType, QWidget* parent = nullptr);

    // After OK: the chosen type and the digits to send.
    int keyType() const { return keyType_; }
    const std::string& lowerKey() const { return lower_; }
    const std::string& upperKey() const { return upper_; }

    QComboBox* typeCombo() const { return combo_; }
    QLineEdit* lowerEdit() const { return lowerEdit_; }
    QLineEdit* upperEdit() const { return upperEdit_; }
    QLabel* lowerLabel() const { return lowerLabel_; }
    QLabel* upperLabel() const { return upperLabel_; }

    void OnOK();

private:
    void OnSelChangeKeyType(int index);
    void LayoutForType(int keyType);

    QComboBox* combo_ = nullptr;
    QLabel* lowerLabel_ = nullptr;
    QLabel* upperLabel_ = nullptr;
    QLineEdit* lowerEdit_ = nullptr;
    QLineEdit* upperEdit_ = nullptr;
    int keyType_ = -1;
    std::string lower_;
    std::string upper_;
};
