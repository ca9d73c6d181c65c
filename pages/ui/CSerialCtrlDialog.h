// "Serial control" page of the advanced options: the COM port's baud rate and
// its five time-outs.
#pragma once
#include <QWidget>
#include <array>
#include <cstdint>

#include "ui/control_ids.h"

class CFerritRemoteControl;
class QComboBox;
class QLineEdit;

class CSerialCtrlDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 111;
    static constexpr int kIdBaud = ids::serial_control::kBaud;
    static constexpr int kIdFirstTimeout = ids::serial_control::kFirstTimeout;   // time-outs 0..4 at 1200..1204
    static constexpr int kMaxChars = 7;
    static const std::array<uint32_t, 15> kBaudRates;

    // A change of a setting is told by changed().
    CSerialCtrlDialog(CFerritRemoteControl* link, QWidget* parent);

    // Applies the page: the baud rate to the link when it differs, then each
    // time-out to the saved settings and, when it differs, to the link.
    void Apply();

    uint32_t chosenBaudRate() const { return baudRate_; }
    QComboBox* baudCombo() const { return combo_; }
    QLineEdit* timeoutEdit(int which) const { return edits_[size_t(which)]; }

signals:
    void changed();

private:
    void OnSelChangeBaud(int index);
    uint32_t LinkTimeout(int which) const;

    CFerritRemoteControl* link_;
    uint32_t baudRate_;
    QComboBox* combo_ = nullptr;
    std::array<QLineEdit*, 5> edits_{};
};
