// "Diagnostic" tab of the engineering window: a request typed by hand is sent
// to the unit, and the request and reply frames are listed byte by byte.
#pragma once
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "link/result_codes.h"
#include "ui/control_ids.h"

class CFerritRemoteControl;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class CDiagnosticDialog : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDialogId = 109;
    static constexpr int kIdAddress = ids::diagnostic::kAddress;
    static constexpr int kIdCommand = ids::diagnostic::kCommand;
    static constexpr int kIdOutput = ids::diagnostic::kOutput;
    static constexpr int kIdSend = ids::diagnostic::kSend;
    static constexpr int kMaxCommandChars = 255;

    // `unitConnected` is the main window's view of the connection.
    CDiagnosticDialog(CFerritRemoteControl* link, std::function<bool()> unitConnected,
                      QWidget* parent);

    // Sends the typed request and lists the exchange.
    void OnSendCommand();
    // Tells the operator what a failed exchange returned ("Error" box).
    static void ShowResultCode(ResultCode code);

    QLineEdit* addressEdit() const { return address_; }
    QLineEdit* commandEdit() const { return command_; }
    QPlainTextEdit* output() const { return output_; }
    QPushButton* sendButton() const { return send_; }

private:
    void AppendExchange();

    CFerritRemoteControl* link_;
    std::function<bool()> unitConnected_;
    QLineEdit* address_ = nullptr;
    QLineEdit* command_ = nullptr;
    QPlainTextEdit* output_ = nullptr;
    QPushButton* send_ = nullptr;
};
