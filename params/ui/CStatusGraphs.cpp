#include "params/ui/CStatusGraphs.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "params/graph_math.h"
#include "ui/accessible.h"

namespace {
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kDarkBlue(0, 0, 128);

// Geometry shared by Paint and ComputeBars: baseline, step and column width.
struct Axes {
    int y0, y1, step, w, h;
};

Axes AxesOf(const QRect& r) {
    // Client rectangle as (left, top, right, bottom) with right/bottom exclusive.
    const int left = r.left(), top = r.top(), right = r.left() + r.width(), bottom = r.top() + r.height();
    Axes a{};
    a.y0 = bottom - 30;
    a.y1 = top + 15;
    a.step = (a.y0 - a.y1) / 3;
    a.w = (right - 38) / 4;
    a.h = a.w / 2;
    (void)left;
    return a;
}
}  // namespace

CStatusGraphs::CStatusGraphs(QWidget* ownerPage, int count)
    : QWidget(ownerPage),
      count_(count),
      levels_(static_cast<size_t>(std::max(0, count)), 0.0f),
      snrs_(static_cast<size_t>(std::max(0, count)), 0.0f),
      hasLevel_(static_cast<size_t>(std::max(0, count)), 1),
      hasSnr_(static_cast<size_t>(std::max(0, count)), 1),
      threshold_(kInitialSnrThreshold) {
    setObjectName(QStringLiteral("statusGraphs"));
    setWindowTitle(QStringLiteral("Quendle SNR/level graphs"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setCursor(Qt::ArrowCursor);
    setAccessibleName(QStringLiteral("Status graphs"));
    ShowValuesText();
}

void CStatusGraphs::SetLevel(float value, int channel) {
    if (channel < 0 || channel >= count_) return;
    levels_[static_cast<size_t>(channel)] = ClampLevel(value);
    hasLevel_[static_cast<size_t>(channel)] = 1;
    ShowValuesText();
}

void CStatusGraphs::ClearSnr() {
    std::fill(hasSnr_.begin(), hasSnr_.end(), uint8_t{0});
    ShowValuesText();
    update();
}

void CStatusGraphs::ClearLevels() {
    std::fill(hasLevel_.begin(), hasLevel_.end(), uint8_t{0});
    ShowValuesText();
    update();
}

void CStatusGraphs::SetSnr(float value, uint32_t bandwidthIndex, uint32_t modulationIndex,
                           uint32_t fecIndex, int channel) {
    if (channel < 0 || channel >= count_) return;
    snrs_[static_cast<size_t>(channel)] = value;
    hasSnr_[static_cast<size_t>(channel)] = 1;
    threshold_ = SnrThreshold(bandwidthIndex, modulationIndex, fecIndex);
    ShowValuesText();
}

QString CStatusGraphs::ValuesText() const {
    const double none = std::nan("");
    QStringList parts;
    for (int i = 0; i < count_; ++i)
        parts << SeriesValueText(QStringLiteral("SNR %1").arg(QChar(u'A' + i)), HasSnr(i) ? Snr(i) : none, "dB");
    for (int i = 0; i < count_; ++i)
        parts << SeriesValueText(QStringLiteral("Level %1").arg(QChar(u'A' + i)), HasLevel(i) ? Level(i) : none,
                                 "dBm");
    return parts.join(QStringLiteral(", "));
}

void CStatusGraphs::ShowValuesText() { SetLiveDescription(this, ValuesText()); }

CStatusGraphs::Bars CStatusGraphs::ComputeBars(int channel, const QRect& client) const {
    const Axes a = AxesOf(client);
    const int x = client.left() + 35 + channel * a.w;
    Bars b{};
    const float level = Level(channel);
    const float snr = Snr(channel);
    b.levelSteps = HasLevel(channel) ? LevelBarSteps(level) : 0;
    b.snrSteps = HasSnr(channel) ? SnrBarSteps(snr, threshold_) : 0;
    // Rectangles from the bar top down to the baseline (bottom exclusive).
    b.level = QRect(QPoint(x + 1, a.y0 - b.levelSteps * a.step), QPoint(x + a.h - 1 - 1, a.y0 - 1));
    b.snr = QRect(QPoint(x + a.h + 1, a.y0 - b.snrSteps * a.step), QPoint(x + a.w - 1 - 1, a.y0 - 1));
    if (b.levelSteps == 0) b.level = QRect();
    if (b.snrSteps == 0) b.snr = QRect();
    b.levelText = HasLevel(channel) ? QString::asprintf("%.1f", static_cast<double>(level)) : QStringLiteral("-");
    b.snrText = HasSnr(channel) ? QString::asprintf("%.1f", static_cast<double>(snr)) : QStringLiteral("-");
    return b;
}

void CStatusGraphs::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect client = rect();
    const int left = client.left();
    const int right = client.left() + client.width(), bottom = client.top() + client.height();
    const Axes a = AxesOf(client);
    p.fillRect(client, Qt::black);
    QFont font = p.font();
    font.setPointSizeF(7.5);
    p.setFont(font);
    p.setPen(QPen(kGreen, 1));

    // Axes and ticks.
    p.drawLine(left + 35, a.y1, left + 35, a.y0);
    p.drawLine(left + 35, a.y0, right - 3, a.y0);
    p.drawLine(right - 3, a.y0, right - 3, a.y1);
    for (int k = 0; k <= 3; ++k) p.drawLine(left + 30, a.y0 - k * a.step, left + 35, a.y0 - k * a.step);

    for (int i = 0; i < count_; ++i) {
        const int x = left + 35 + i * a.w;
        const Bars b = ComputeBars(i, client);
        p.setPen(kGreen);
        p.drawText(QRect(x, bottom - 15, a.w, 15), Qt::AlignCenter, QString(QChar('A' + i)));
        p.drawText(QRect(x, bottom - 30, a.h, 15), Qt::AlignCenter, QStringLiteral("Level"));
        p.drawText(QRect(x + a.h, bottom - 30, a.w - a.h, 15), Qt::AlignCenter, QStringLiteral("SNR"));
        const int levelTop = a.y0 - b.levelSteps * a.step;
        const int snrTop = a.y0 - b.snrSteps * a.step;
        p.setPen(QPen(kGreen, 1));
        if (!b.level.isEmpty()) {
            p.setBrush(kBlue);
            p.drawRect(b.level.adjusted(0, 0, -1, -1));
        }
        if (!b.snr.isEmpty()) {
            p.setBrush(kDarkBlue);
            p.drawRect(b.snr.adjusted(0, 0, -1, -1));
        }
        p.setBrush(Qt::NoBrush);
        p.drawText(QRect(x, levelTop - 15, a.h, 15), Qt::AlignCenter, b.levelText);
        p.drawText(QRect(x + a.h, snrTop - 15, a.w - a.h, 15), Qt::AlignCenter, b.snrText);
    }
}
