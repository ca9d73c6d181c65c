#include "ui/CIpAddressCtrl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

CIpAddressCtrl::CIpAddressCtrl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        field->setValidator(new QIntValidator(0, 255, field));
        field->setMaxLength(3);
        field->setAlignment(Qt::AlignCenter);
        field->setObjectName(QStringLiteral("ipField%1").arg(i));
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 14);
        field->installEventFilter(this);
        fields_[i] = field;
        layout->addWidget(field);
        // A number above 255 becomes 255, as in the system's control.
        connect(field, &QLineEdit::textChanged, this, [field](const QString& text) {
            if (text.toInt() > 255) field->setText(QStringLiteral("255"));
        });
        // Three digits move on to the next field, as in the system's control.
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == 3 && i + 1 < fields_.size()) {
                fields_[i + 1]->setFocus();
                fields_[i + 1]->selectAll();
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

bool CIpAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->text() == QStringLiteral(".")) {
            for (size_t i = 0; i + 1 < fields_.size(); ++i) {
                // A dot in a field still empty (three digits just moved the
                // caret into it) belongs to the field before: "127.0.0.1" typed
                // as it is written fills all four fields.
                if (watched == fields_[i] && fields_[i]->text().isEmpty()) return true;
                if (watched == fields_[i]) {
                    fields_[i + 1]->setFocus();
                    fields_[i + 1]->selectAll();
                    return true;
                }
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int CIpAddressCtrl::FilledFieldCount() const {
    int n = 0;
    for (QLineEdit* f : fields_)
        if (!f->text().isEmpty()) ++n;
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
    QStringList parts = QString::fromStdString(dotted).split('.');
    if (parts.size() != 4) return false;
    for (const QString& p : parts) {
        bool ok = false;
        int v = p.toInt(&ok);
        if (!ok || v < 0 || v > 255) return false;
    }
    for (size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(QString::number(parts[static_cast<int>(i)].toInt()));
    return true;
}

void CIpAddressCtrl::Clear() {
    for (QLineEdit* f : fields_) f->clear();
}

bool CIpAddressCtrl::IsBlank() const { return FilledFieldCount() == 0; }
