#include "ui/theme_colours.h"

#include <QEvent>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace {

// The hue of each tone; ReadableOn moves its lightness to suit the background.
const QColor kToneHues[] = {QColor(0, 0, 255), QColor(0, 160, 0), QColor(220, 0, 0)};

double Linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    return 0.2126 * Linear(c.red()) + 0.7152 * Linear(c.green()) + 0.0722 * Linear(c.blue());
}

}  // namespace

bool IsDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& wanted, const QColor& background, double ratio) {
    const bool lighten = background.lightness() < 128;
    float h = 0, s = 0, l = 0, a = 0;
    wanted.toHsl().getHslF(&h, &s, &l, &a);
    QColor c = wanted;
    for (int step = 0; step <= 50 && ContrastRatio(c, background) < ratio; ++step) {
        l = std::clamp(l + (lighten ? 0.02f : -0.02f), 0.0f, 1.0f);
        c = QColor::fromHslF(h, s, l, a).toRgb();
    }
    return c;
}

QColor ToneColour(TextTone tone, const QPalette& palette) {
    return ReadableOn(kToneHues[int(tone)], palette.color(QPalette::Window));
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::WindowText, colour);
        p.setColor(g, QPalette::Text, colour);
        p.setColor(g, QPalette::ButtonText, colour);
    }
    widget->setPalette(p);
}

QIcon IconForPalette(const QString& path, const QPalette& palette) {
    const QImage source = QImage(path).convertToFormat(QImage::Format_ARGB32);
    if (source.isNull() || !IsDarkPalette(palette)) return QIcon(path);
    QColor halo = palette.color(QPalette::WindowText);
    halo.setAlpha(190);
    QImage out(source.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb own = source.pixel(x, y);
            if (qAlpha(own) > 0) {
                out.setPixel(x, y, own);
                continue;
            }
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = source.valid(x + dx, y + dy) && qAlpha(source.pixel(x + dx, y + dy)) > 0;
            if (near) out.setPixelColor(x, y, halo);
        }
    }
    return QIcon(QPixmap::fromImage(out));
}

bool IsPaletteChange(const QEvent* event) {
    return event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange;
}

AlarmLook AlarmColours(std::optional<AlarmSeverity> severity) {
    static const QColor kFills[kAlarmSeverityCount] = {QColor(198, 40, 40), QColor(239, 108, 0), QColor(253, 216, 53),
                                                       QColor(2, 119, 189)};
    const QColor fill = severity ? kFills[size_t(*severity)] : QColor(46, 125, 50);
    const QColor white(255, 255, 255), black(0, 0, 0);
    return {fill, ContrastRatio(white, fill) >= kTextContrast ? white : black};
}
