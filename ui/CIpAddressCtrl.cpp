#include "ui/CIpAddressCtrl.h"

#include <memory>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>

namespace {
constexpr int kFieldMax = 255;
const char* const kRefusedStyle = "QLineEdit { color: rgb(192, 0, 0); background: rgb(255, 224, 224); }";
const char* const kRefusedTip = "A number from 0 to 255";

// The line edit's menu names its Paste action in newer Qt only; older ones
// are known by the key shown beside the text, whatever the language.
bool IsPasteAction(const QAction& action) {
    if (action.objectName() == QStringLiteral("edit-paste")) return true;
    const QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Paste);
    return !keys.isEmpty() && action.text().endsWith(QLatin1Char('\t') + keys.first().toString(QKeySequence::NativeText));
}
}  // namespace

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        // Three digits pass (the validator calls 256 to 999 intermediate); a
        // number above 255 stays as typed and is shown as refused.
        field->setValidator(new QIntValidator(0, kFieldMax, field));
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setObjectName(QStringLiteral("ipField%1").arg(i));
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 14);
        field->installEventFilter(this);
        fields_[i] = field;
        layout->addWidget(field);
        connect(field, &QLineEdit::textChanged, this, [this, i] { ShowRefused(static_cast<int>(i)); });
        // Three digits move on to the next field, as in the system's control.
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i + 1 < fields_.size()) {
                MoveTo(static_cast<int>(i) + 1);
                jumpedInto_ = static_cast<int>(i) + 1;
            }
        });
    }
    // Focus given to the control (a label's mnemonic, a click on it) goes to the first field.
    setFocusProxy(fields_[0]);
    SetNames(QStringLiteral("IP address"));
}

void CIpAddressCtrl::SetNames(const QString& name) {
    setAccessibleName(name);
    for (size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setAccessibleName(QStringLiteral("%1 field %2").arg(name).arg(i + 1));
}

int CIpAddressCtrl::IndexOf(QObject* field) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i] == field) return static_cast<int>(i);
    return -1;
}

void CIpAddressCtrl::MoveTo(int i) {
    fields_[static_cast<size_t>(i)]->setFocus();
    fields_[static_cast<size_t>(i)]->selectAll();
}

// A dot ends the field and moves to the next, unless the field was just
// entered by three digits or is still empty: the dot then belongs to the
// field before, so "127.0.70.1" typed as it is written fills all four fields.
bool CIpAddressCtrl::TakeDot(int i) {
    const bool justEntered = i == jumpedInto_ || fields_[static_cast<size_t>(i)]->text().isEmpty();
    jumpedInto_ = -1;
    if (!justEntered && i + 1 < static_cast<int>(fields_.size())) MoveTo(i + 1);
    return true;
}

// Pasted digits go into the field as typed ones; pasted text with anything
// else must be a whole address, which fills all four fields, or is refused.
// The same for Ctrl+V, the field's menu and a middle click.
bool CIpAddressCtrl::TakePaste(bool selection) {
    const QString text =
        QGuiApplication::clipboard()->text(selection ? QClipboard::Selection : QClipboard::Clipboard).trimmed();
    static const QRegularExpression digits(QStringLiteral("^[0-9]*$"));
    if (digits.match(text).hasMatch()) return false;
    if (SetText(text.toStdString())) MoveTo(static_cast<int>(fields_.size()) - 1);
    return true;
}

// The field's own menu, whose Paste takes an address as Ctrl+V does.
void CIpAddressCtrl::ShowMenu(int i, const QPoint& where) {
    QLineEdit* field = fields_[static_cast<size_t>(i)];
    std::unique_ptr<QMenu> menu(field->createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        if (!IsPasteAction(*action)) continue;
        disconnect(action, &QAction::triggered, nullptr, nullptr);
        connect(action, &QAction::triggered, field, [this, field] {
            if (!TakePaste(false)) field->paste();
        });
    }
    menu->exec(where);
}

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    const int i = IndexOf(watched);
    if (i < 0) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusOut:
        if (i == jumpedInto_) jumpedInto_ = -1;
        break;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) return TakePaste(false);
        if (key->text() == QStringLiteral(".")) return TakeDot(i);
        if (!key->text().isEmpty()) jumpedInto_ = -1;
        break;
    }
    case QEvent::ContextMenu:
        ShowMenu(i, static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
            QGuiApplication::clipboard()->supportsSelection())
            return TakePaste(true);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool CIpAddressCtrl::FieldRefused(int i) const {
    const QString text = fields_[static_cast<size_t>(i)]->text();
    return !text.isEmpty() && text.toInt() > kFieldMax;
}

void CIpAddressCtrl::ShowRefused(int i) {
    QLineEdit* field = fields_[static_cast<size_t>(i)];
    const bool refused = FieldRefused(i);
    field->setStyleSheet(refused ? QString::fromLatin1(kRefusedStyle) : QString());
    field->setToolTip(refused ? QString::fromLatin1(kRefusedTip) : QString());
    field->setAccessibleDescription(refused ? QStringLiteral("refused") : QString());
}

int CIpAddressCtrl::FilledFieldCount() const {
    int n = 0;
    for (size_t i = 0; i < fields_.size(); ++i)
        if (!fields_[i]->text().isEmpty() && !FieldRefused(static_cast<int>(i))) ++n;
    return n;
}

uint32_t CIpAddressCtrl::Address() const {
    uint32_t v = 0;
    for (QLineEdit* f : fields_) v = (v << 8) | (static_cast<uint32_t>(f->text().toInt()) & 0xFF);
    return v;
}

void CIpAddressCtrl::SetAddress(uint32_t address) {
    for (size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFF));
}

std::string CIpAddressCtrl::Text() const {
    if (IsBlank()) return {};
    std::string out;
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i) out += '.';
        out += std::to_string(fields_[i]->text().toInt());
    }
    return out;
}

bool CIpAddressCtrl::SetText(const std::string& dotted) {
    static const QRegularExpression field(QStringLiteral("^[0-9]{1,3}$"));
    QStringList parts = QString::fromStdString(dotted).split('.');
    if (parts.size() != 4) return false;
    for (const QString& p : parts)
        if (!field.match(p).hasMatch() || p.toInt() > kFieldMax) return false;
    for (size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(QString::number(parts[static_cast<int>(i)].toInt()));
    return true;
}

void CIpAddressCtrl::Clear() {
    for (QLineEdit* f : fields_) f->clear();
}

bool CIpAddressCtrl::IsBlank() const {
    for (QLineEdit* f : fields_)
        if (!f->text().isEmpty()) return false;
    return true;
}
