// Colours that read on the desktop's palette, light or dark: the one place
// where every window takes a text colour of its own, the toolbar's images and
// the contrast rule. Windows call these again on a palette change (the
// desktop's theme switched while the program runs).
#pragma once
#include <QColor>
#include <QIcon>
#include <optional>

#include "params/alarms.h"

class QEvent;
class QPalette;
class QWidget;

// The least contrast of text against its background, and of lines and marks
// against theirs (the usual 4.5:1 and 3:1).
constexpr double kTextContrast = 4.5;
constexpr double kGraphicContrast = 3.0;

// What a coloured text says: the program's emphasis ("Polling enabled", the
// selected slot), a good state ("Connected"), a bad one ("Not connected").
enum class TextTone { Emphasis, Good, Bad };

// A palette whose window colour is dark.
bool IsDarkPalette(const QPalette& palette);
// The contrast ratio of two colours by their relative luminance, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);
// `wanted` with its hue kept, made lighter (on a dark background) or darker
// (on a light one) until it has `ratio` against `background`.
QColor ReadableOn(const QColor& wanted, const QColor& background, double ratio = kTextContrast);
// The colour of `tone` on the palette's window colour.
QColor ToneColour(TextTone tone, const QPalette& palette);
// Gives `widget` the text colour `colour` in its own palette; every other
// role keeps following the application's palette.
void SetTextColour(QWidget* widget, const QColor& colour);
// The image file `path` as an icon that shows on the palette's window colour:
// on a dark window every mark gets a light halo one pixel wide.
QIcon IconForPalette(const QString& path, const QPalette& palette);
// The widget's palette or the application's has changed.
bool IsPaletteChange(const QEvent* event);

// The alarm colours: a fill for each severity (critical red, major orange,
// minor yellow, warning blue) and for no alarm (green), the same on every
// palette, with a text colour that has kTextContrast on the fill.
struct AlarmLook {
    QColor fill;
    QColor text;
};
AlarmLook AlarmColours(std::optional<AlarmSeverity> severity);
