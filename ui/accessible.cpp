#include "ui/accessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <cmath>

namespace {

// A combo box: named by its explicit name or its label, its current item as
// value and (unless it has one of its own) description; its list (and its
// edit, when editable) as children; "press" and "show menu" open the list.
class NamedComboBox : public QAccessibleWidget {
public:
    explicit NamedComboBox(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        const QString current = Combo()->currentText();
        if (t == QAccessible::Value) return current;
        const QString own = QAccessibleWidget::text(t);
        if ((t == QAccessible::Name || t == QAccessible::Description) && own.isEmpty()) return current;
        return own;
    }
    int childCount() const override { return Combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(Combo()->view());
        if (index == 1 && Combo()->isEditable()) return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child->object() == Combo()->view()) return 0;
        if (Combo()->isEditable() && child->object() == Combo()->lineEdit()) return 1;
        return -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) return QAccessibleWidget::doAction(action);
        if (Combo()->view()->isVisible()) Combo()->hidePopup();
        else Combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* ProgramInterfaces(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox"))
        if (auto* combo = qobject_cast<QComboBox*>(object)) return new NamedComboBox(combo);
    return nullptr;
}

}  // namespace

void InstallAccessibleNames() {
    static const bool installed = [] {
        QAccessible::installFactory(ProgramInterfaces);
        return true;
    }();
    (void)installed;
}

QLabel* MakeBuddyLabel(const QString& text, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    return label;
}

QString SeriesValueText(const QString& series, double value, const char* unit) {
    if (std::isnan(value)) return series + QStringLiteral(" no value");
    return QStringLiteral("%1 %2 %3").arg(series, QString::number(value, 'f', 1), QString::fromLatin1(unit));
}

void SetLiveDescription(QWidget* widget, const QString& text) {
    if (widget->accessibleDescription() == text && widget->toolTip() == text) return;
    widget->setToolTip(text);
    widget->setAccessibleDescription(text);
}
