#include "ui/qt_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

#include "ui/CIpAddressCtrl.h"
#include "ui/control_ids.h"

#include <vector>

namespace {
const char* const kPageRootProperty = "qtPageRoot";
}

QWidget* FindControl(const QWidget* root, int id) {
    if (!root) return nullptr;
    // Breadth first, without entering another page embedded in this one (the
    // simple page inside the main window carries ids of its own).
    std::vector<const QWidget*> level{root};
    while (!level.empty()) {
        std::vector<const QWidget*> next;
        for (const QWidget* w : level) {
            for (QObject* child : w->children()) {
                auto* cw = qobject_cast<QWidget*>(child);
                if (!cw) continue;
                QVariant v = cw->property("ctrlId");
                if (v.isValid() && v.toInt() == id) return cw;
                if (!cw->property(kPageRootProperty).toBool()) next.push_back(cw);
            }
        }
        level.swap(next);
    }
    return nullptr;
}

QtPage::QtPage(QWidget* root) : root_(root) {
    root_->setProperty(kPageRootProperty, true);
}

QtPage::~QtPage() { events_.Shutdown(); }

bool QtPage::HasControl(int id) const { return Control(id) != nullptr; }

std::string QtPage::GetText(int id) const {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText().toStdString();
    if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText().toStdString();
    if (auto* s = qobject_cast<QSpinBox*>(w)) return s->text().toStdString();
    if (auto* ip = qobject_cast<CIpAddressCtrl*>(w)) return ip->Text();
    if (w) return w->windowTitle().toStdString();
    return {};
}

void QtPage::SetText(int id, const std::string& text) {
    QWidget* w = Control(id);
    const QString t = QString::fromStdString(text);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(t);
        e->setCursorPosition(0);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->isEditable()) c->setEditText(t);
        else c->setCurrentIndex(c->findText(t));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(t);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(t);
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        p->setPlainText(t);
    } else if (auto* te = qobject_cast<QTextEdit*>(w)) {
        te->setPlainText(t);
    } else if (auto* s = qobject_cast<QSpinBox*>(w)) {
        s->setValue(t.toInt());
    } else if (auto* ip = qobject_cast<CIpAddressCtrl*>(w)) {
        ip->SetText(text);
    } else if (w) {
        w->setWindowTitle(t);
    }
}

int QtPage::GetSelection(int id) const {
    if (auto* c = qobject_cast<QComboBox*>(Control(id))) return c->currentIndex();
    return -1;
}

void QtPage::Select(int id, int index) {
    if (auto* c = qobject_cast<QComboBox*>(Control(id)))
        c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

void QtPage::AddItem(int id, const std::string& text) {
    if (auto* c = qobject_cast<QComboBox*>(Control(id))) {
        // Adding the first row must not select it: a list starts without selection.
        const int before = c->currentIndex();
        c->addItem(QString::fromStdString(text));
        c->setCurrentIndex(before);
    }
}

uint32_t QtPage::GetIp(int id) const {
    if (auto* ip = qobject_cast<CIpAddressCtrl*>(Control(id))) return ip->Address();
    return 0;
}

int QtPage::IpFilledFields(int id) const {
    if (auto* ip = qobject_cast<CIpAddressCtrl*>(Control(id))) return ip->FilledFieldCount();
    return 0;
}

void QtPage::SetIp(int id, uint32_t address) {
    if (auto* ip = qobject_cast<CIpAddressCtrl*>(Control(id))) ip->SetAddress(address);
}

bool QtPage::IsChecked(int id) const {
    if (auto* b = qobject_cast<QAbstractButton*>(Control(id))) return b->isChecked();
    return false;
}

void QtPage::Check(int id, bool checked) {
    auto* b = qobject_cast<QAbstractButton*>(Control(id));
    if (!b) return;
    // Checked by the program: turning one radio off must not depend on its group.
    const bool exclusive = b->autoExclusive();
    if (!checked) b->setAutoExclusive(false);
    b->setChecked(checked);
    b->setAutoExclusive(exclusive);
}

void QtPage::Enable(int id, bool enabled) {
    if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

void QtPage::SetReadOnly(int id, bool readOnly) {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setReadOnly(readOnly);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) p->setReadOnly(readOnly);
    else if (auto* t = qobject_cast<QTextEdit*>(w)) t->setReadOnly(readOnly);
    else if (auto* s = qobject_cast<QSpinBox*>(w)) s->setReadOnly(readOnly);
    else if (w) w->setEnabled(!readOnly);
}

void QtPage::Show(int id, bool shown) {
    if (QWidget* w = Control(id)) w->setVisible(shown);
}

void QtPage::LampChanged(Lamp lamp, LampState state) { events_.LampChanged(lamp, state); }

void QtPage::GraphSample(const ParamEntry& row) { events_.GraphSample(row); }

QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog, std::function<void()> onOk) {
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* ok = SetCtrlId(buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole), ids::kOk);
    QPushButton* cancel =
        SetCtrlId(buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole), ids::kCancel);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, std::move(onOk));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return buttons;
}
