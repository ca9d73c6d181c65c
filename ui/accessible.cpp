#include "ui/accessible.h"

#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <cmath>

QLabel* MakeBuddyLabel(const QString& text, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    return label;
}

void NameTabStrip(QTabWidget* tabs, const QString& name) {
    tabs->tabBar()->setAccessibleName(name);
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
