// Names and descriptions of controls for screen readers and for tools that find
// controls over the accessibility bus. A control beside a label is named by the
// label (its buddy); a control without one is named explicitly.
#pragma once
#include <QString>

class QLabel;
class QWidget;

// Installs the accessible interfaces of the program's own making (once; at
// start-up, before any window): a combo box is named by its label on every
// platform. Qt on Linux names a combo box by its current item and gives the
// label only as a relation, so the control could not be found by its label;
// here the current item is the combo box's value and description instead.
void InstallAccessibleNames();

// A label with `text` that names `control` (the label's buddy).
QLabel* MakeBuddyLabel(const QString& text, QWidget* control, QWidget* parent);

// One value of a series as words: "SNR A 23.5 dB", or "SNR A no value" when
// `value` is NaN. The number has one decimal and a '.' in every locale.
QString SeriesValueText(const QString& series, double value, const char* unit);

// Sets the accessible description and the tool tip of `widget` to `text`; a
// change is announced to assistive technology (Qt sends DescriptionChanged).
void SetLiveDescription(QWidget* widget, const QString& text);
