#include "link/ui/CDiagnosticDialog.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "ui/accessible.h"
#include "ui/prompts.h"
#include "ui/operator_texts.h"
#include "ui/qt_page.h"
#include "link/frame.h"
#include "link/locks.h"
#include "link/remote_control.h"
#include "link/requests.h"

namespace {
// Text after the STX: four address characters and the command.
constexpr int kMaxCommandSent = int(kMaxRequestText) - 4;

QString Hex(const std::string& bytes, size_t count) {
    QString out;
    char piece[8];
    for (size_t i = 0; i < count && i < bytes.size(); ++i) {
        std::snprintf(piece, sizeof piece, "%2x ", unsigned(uint8_t(bytes[i])));
        out += QString::fromLatin1(piece);
    }
    return out;
}

QString Raw(const std::string& bytes, size_t count) {
    QString out;
    for (size_t i = 0; i < count && i < bytes.size(); ++i) {
        const auto b = uint8_t(bytes[i]);
        if (b != 0) out += QChar(char16_t(b));
    }
    return out;
}
}  // namespace

CDiagnosticDialog::CDiagnosticDialog(CFerritRemoteControl* link,
                                     std::function<bool()> unitConnected, QWidget* parent)
    : QWidget(parent), link_(link), unitConnected_(std::move(unitConnected)) {
    setObjectName(QStringLiteral("dlg_%1").arg(kDialogId));

    address_ = SetCtrlId(new QLineEdit(this), kIdAddress);
    address_->setMaxLength(4);
    address_->setFixedWidth(address_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    command_ = SetCtrlId(new QLineEdit(this), kIdCommand);
    command_->setMaxLength(kMaxCommandChars);
    send_ = SetCtrlId(new QPushButton(QStringLiteral("Send command"), this), kIdSend);
    // Enter reaches the engineering window, which sends while this tab is shown.
    send_->setAutoDefault(false);
    connect(send_, &QPushButton::clicked, this, &CDiagnosticDialog::OnSendCommand);

    output_ = SetCtrlId(new QPlainTextEdit(this), kIdOutput);
    output_->setReadOnly(true);
    output_->setLineWrapMode(QPlainTextEdit::NoWrap);
    output_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    output_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    output_->setFont(mono);
    output_->setAccessibleName(QStringLiteral("Output"));

    auto* grid = new QGridLayout;
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Send address"), address_, this), 0, 0);
    grid->addWidget(MakeBuddyLabel(QStringLiteral("Command and data"), command_, this), 0, 1);
    grid->addWidget(address_, 1, 0);
    grid->addWidget(command_, 1, 1);
    grid->addWidget(send_, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(output_, 1);
}

void CDiagnosticDialog::ShowResultCode(ResultCode code) {
    ShowError(ResultCodeMessage(code));
}

void CDiagnosticDialog::OnSendCommand() {
    if (!unitConnected_ || !unitConnected_() || !link_) {
        ShowError(kTextNoConnection);
        return;
    }
    const QString address = address_->text().left(4);
    const QString command = command_->text().left(kMaxCommandChars);
    // Every frame carries exactly four address characters, and a frame holds
    // at most 244 characters after its STX: refuse what cannot be sent as typed.
    if (address.size() != 4) {
        ShowError("The send address must be four characters");
        return;
    }
    if (command.size() > kMaxCommandSent) {
        ShowError("The command is too long: at most " + std::to_string(kMaxCommandSent) +
                  " characters can be sent");
        return;
    }
    const std::string request = TypedRequest(address.toLatin1().toStdString(), command.toLatin1().toStdString());

    // The link lock stays held until the exchange is shown, so the poll thread
    // cannot replace the frames in the meantime.
    LinkGuard lock(link_->LinkMutex());
    const ResultCode result = link_->Exchange(request, 1).result;
    if (result != kResultOk) {
        ShowResultCode(result);
        if (result != kErrInvalidReply && result != kErrBadChecksum) return;
    }
    AppendExchange();
}

void CDiagnosticDialog::AppendExchange() {
    const std::string& sent = link_->LastRequest();
    const std::string& reply = link_->LastReply();
    const size_t replyLength = size_t(std::max(0, link_->LastReplyLength()));

    QTextCursor cursor = output_->textCursor();
    auto insert = [&cursor](const QString& piece) { cursor.insertText(piece); };
    insert(QStringLiteral("Sending: "));
    insert(Hex(sent, sent.size()));
    insert(Raw(sent, sent.size()));
    insert(QStringLiteral("\n"));
    insert(QStringLiteral("Reply: "));
    insert(Hex(reply, replyLength));
    insert(Raw(reply, replyLength));
    insert(QStringLiteral("\n"));
    output_->setTextCursor(cursor);
    output_->ensureCursorVisible();
}
