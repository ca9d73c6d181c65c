#include "params/ui/CHistoryChart.h"

#include <algorithm>
#include <cmath>

#include "app/signal_history.h"
#include "platform/clock.h"
#include "ui/accessible.h"
#include "ui/theme_colours.h"

namespace {

constexpr int kInputs = 4;   // series 0..3 SNR, 4..7 levels
constexpr int kBands = kLockBandCount;
constexpr const char* kBandNames[kLockBandCount] = {"Demod lock", "Reception", "Decoder lock"};
const QColor kBandOn(0, 170, 60);
const QColor kBandOff(220, 30, 30);

bool IsLevel(int series) { return series >= kInputs; }
QString InputLetter(int series) { return QString(QChar(u'A' + series % kInputs)); }
QString Number(double value) { return QString::number(value, 'f', 1); }   // '.' in every locale

// The range of the visible values of `graphs`, or an empty range.
QCPRange ValueSpan(const std::vector<QCPGraph*>& graphs, bool& any) {
    QCPRange span;
    any = false;
    for (QCPGraph* g : graphs) {
        if (!g->visible()) continue;
        bool found = false;
        const QCPRange r = g->getValueRange(found);
        if (!found) continue;
        span = any ? QCPRange(std::min(span.lower, r.lower), std::max(span.upper, r.upper)) : r;
        any = true;
    }
    return span;
}

}  // namespace

CHistoryChart::CHistoryChart(const CSignalHistory& history, QWidget* parent)
    : QCustomPlot(parent), history_(history) {
    setObjectName(QStringLiteral("historyChart"));
    setAccessibleName(QStringLiteral("Signal history chart"));
    BuildAxes();
    // Drag and wheel move and scale the time axis only.
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    axisRect()->setRangeDragAxes(xAxis, nullptr);
    axisRect()->setRangeZoomAxes(xAxis, nullptr);
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) { OnRangeChanged(range); });
    connect(this, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        const double key = xAxis->pixelToCoord(event->position().x());
        cursor_->point1->setCoords(key, 0);
        cursor_->point2->setCoords(key, 1);
        cursor_->setVisible(true);
        replot(rpQueuedReplot);
        emit cursorAt(key);
    });
    SetSpanSeconds(spanSeconds_);
}

void CHistoryChart::BuildAxes() {
    setMinimumSize(480, 300);
    plotLayout()->setRowSpacing(0);
    auto* margins = new QCPMarginGroup(this);

    // Values: SNR on the left, levels on the right, time labels on the band strip.
    QCPAxisRect* values = axisRect();
    yAxis->setLabel(QStringLiteral("SNR (dB)"));
    yAxis2->setVisible(true);
    yAxis2->setLabel(QStringLiteral("Level (dBm)"));
    xAxis->setTickLabels(false);
    values->setMarginGroup(QCP::msLeft | QCP::msRight, margins);

    bandRect_ = new QCPAxisRect(this, false);
    bandRect_->addAxes(QCPAxis::atBottom | QCPAxis::atLeft | QCPAxis::atRight);
    plotLayout()->addElement(1, 0, bandRect_);
    plotLayout()->setRowStretchFactor(1, 0.22);
    bandRect_->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
    QCPAxis* time = bandRect_->axis(QCPAxis::atBottom);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::UTC);
    ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss\nyyyy-MM-dd"));
    time->setTicker(ticker);
    time->setLabel(QStringLiteral("Time (UTC)"));
    xAxis->setTicker(ticker);
    QCPAxis* bandAxis = bandRect_->axis(QCPAxis::atLeft);
    auto names = QSharedPointer<QCPAxisTickerText>::create();
    for (int b = 0; b < kLockBandCount; ++b) names->addTick(kBands - 1 - b + 0.5, kBandNames[b]);
    bandAxis->setTicker(names);
    bandAxis->setRange(0, kLockBandCount);
    bandAxis->grid()->setVisible(false);
    bandAxis->setSubTicks(false);
    bandRect_->axis(QCPAxis::atRight)->setTickLabels(false);
    bandRect_->axis(QCPAxis::atRight)->setTicks(false);
    bandRect_->axis(QCPAxis::atRight)->setRange(0, kLockBandCount);

    for (int s = 0; s < kSeriesCount; ++s) {
        QCPGraph* g = addGraph(xAxis, IsLevel(s) ? yAxis2 : yAxis);
        g->setName(SeriesName(s));
        // Solid lines one pixel wide: a wider or dashed line through a day's
        // zigzag of extremes costs a repaint many times over. Levels are the
        // lighter ones.
        g->setAdaptiveSampling(true);
        series_[size_t(s)] = g;
    }
    for (int b = 0; b < kLockBandCount; ++b) {
        for (int on = 0; on < 2; ++on) {
            QCPGraph* g = addGraph(time, bandAxis);
            g->setName(QStringLiteral("%1 %2").arg(kBandNames[b], on ? "on" : "off"));
            g->removeFromLegend();
            bands_[size_t(b)][size_t(on)] = g;
        }
    }
    // The legend in a row of its own under the time axis: it never covers the lines.
    legend->setVisible(true);
    legend->setFont(QFont(font().family(), 8));
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(kInputs);
    auto* legendRow = new QCPLayoutGrid;
    values->insetLayout()->take(legend);
    values->insetLayout()->simplify();
    plotLayout()->addElement(2, 0, legendRow);
    legendRow->addElement(0, 0, legend);
    legendRow->setMargins(QMargins(0, 0, 0, 4));
    plotLayout()->setRowStretchFactor(2, 0.001);

    cursor_ = new QCPItemStraightLine(this);
    cursor_->setClipAxisRect(values);
    cursor_->point1->setAxes(xAxis, yAxis);
    cursor_->point2->setAxes(xAxis, yAxis);
    cursor_->setVisible(false);

    yAxis->setRange(0, 40);
    yAxis2->setRange(-100, 0);
    ApplyPalette();
}

void CHistoryChart::ApplyPalette() {
    const QPalette& p = palette();
    const QColor text = p.color(QPalette::WindowText);
    const QColor base = p.color(QPalette::Base);
    QColor grid = p.color(QPalette::Text);
    grid.setAlpha(60);
    setBackground(p.brush(QPalette::Window));
    for (QCPAxisRect* rect : axisRects()) {
        rect->setBackground(p.brush(QPalette::Base));
        for (QCPAxis* axis : rect->axes()) {
            axis->setBasePen(QPen(text, 0));
            axis->setTickPen(QPen(text, 0));
            axis->setSubTickPen(QPen(text, 0));
            axis->setTickLabelColor(text);
            axis->setLabelColor(text);
            axis->grid()->setPen(QPen(grid, 0, Qt::DotLine));
            axis->grid()->setZeroLinePen(QPen(grid, 0));
        }
    }
    legend->setBrush(p.brush(QPalette::Window));
    legend->setBorderPen(QPen(p.color(QPalette::Mid), 0));
    legend->setTextColor(text);
    for (int s = 0; s < kSeriesCount; ++s) series_[size_t(s)]->setPen(QPen(SeriesColour(s, base), 1.0));
    QColor cursor = p.color(QPalette::Text);
    cursor.setAlpha(160);
    cursor_->setPen(QPen(cursor, 1, Qt::DotLine));
}

void CHistoryChart::changeEvent(QEvent* event) {
    QCustomPlot::changeEvent(event);
    if (!IsPaletteChange(event)) return;
    ApplyPalette();
    replot(rpQueuedReplot);
}

QColor CHistoryChart::SeriesColour(int series, const QColor& background) {
    static const QColor colours[kInputs] = {QColor(0, 90, 220), QColor(220, 120, 0), QColor(0, 150, 80),
                                            QColor(160, 40, 180)};
    const QColor c = colours[series % kInputs];
    return ReadableOn(IsLevel(series) ? c.lighter(150) : c, background, kGraphicContrast);
}

QString CHistoryChart::SeriesName(int series) {
    return (IsLevel(series) ? QStringLiteral("Level ") : QStringLiteral("SNR ")) + InputLetter(series);
}

QCPGraph* CHistoryChart::BandGraph(int band, LockState state) const {
    return bands_[size_t(band)][state == LockState::On ? 1 : 0];
}

void CHistoryChart::SetSpanSeconds(int seconds) {
    spanSeconds_ = std::max(1, seconds);
    // The span ends where it ends now (at the newest sample when following).
    const double upper = follow_ ? KeyOfMs(WallClockMs()) : xAxis->range().upper;
    ++settingRange_;
    xAxis->setRange(upper - spanSeconds_, upper);
    --settingRange_;
    Refresh();
}

void CHistoryChart::SetFollow(bool follow) {
    follow_ = follow;
    if (follow) Refresh();
}

void CHistoryChart::SetSeriesVisible(int series, bool visible) {
    series_[size_t(series)]->setVisible(visible);
    FitValueAxes();
    replot(rpQueuedReplot);
}

void CHistoryChart::OnRangeChanged(const QCPRange& range) {
    bandRect_->axis(QCPAxis::atBottom)->setRange(range);
    if (settingRange_ > 0) return;
    // The operator moved or scaled the time axis: the chart stays where it was put.
    if (follow_) {
        follow_ = false;
        emit followEnded();
    }
    Refresh();
}

void CHistoryChart::Refresh(bool immediately) {
    const int columns = std::max(1, axisRect()->width());
    HistoryView view;
    QCPRange range = xAxis->range();
    HistoryPoint latest;
    bool any = false;
    int64_t newestMs = WallClockMs();
    history_.Read([&](const CSampleRing& ring) {
        if (!ring.Empty()) {
            latest = ring.Newest();
            newestMs = latest.timeMs;
            any = true;
        }
        if (follow_) {
            const double newest = ring.Empty() ? KeyOfMs(WallClockMs()) : KeyOfMs(ring.Newest().timeMs);
            range = QCPRange(newest - spanSeconds_, newest);
        }
        view = MakeHistoryView(ring, MsOfKey(range.lower), MsOfKey(range.upper), columns);
    });
    if (follow_) {
        ++settingRange_;
        xAxis->setRange(range);
        --settingRange_;
    }
    ShowView(view);
    ShowAlarmPeriods(range, newestMs);
    SetLiveDescription(this, LatestText(any ? &latest : nullptr));
    replot(immediately ? rpImmediateRefresh : rpQueuedReplot);
}

void CHistoryChart::ShowView(const HistoryView& view) {
    for (int s = 0; s < kSeriesCount; ++s) {
        const SeriesLine& line = view.series[size_t(s)];
        series_[size_t(s)]->setData(QVector<double>(line.keys.begin(), line.keys.end()),
                                    QVector<double>(line.values.begin(), line.values.end()), true);
    }
    // Each band is a thick line at its row: green where on, red where off, a
    // break after every run, nothing where the state is not known.
    const double rowPixels = double(bandRect_->height()) / kBands;
    const double width = std::max(2.0, rowPixels - 6);
    for (int b = 0; b < kLockBandCount; ++b) {
        const double y = kBands - 1 - b + 0.5;
        QVector<double> keys[2], values[2];
        for (const BandRun& run : view.bands[size_t(b)]) {
            const int on = run.state == LockState::On ? 1 : 0;
            keys[on] << run.fromKey << run.toKey << run.toKey;
            values[on] << y << y << std::nan("");
        }
        for (int on = 0; on < 2; ++on) {
            QCPGraph* g = bands_[size_t(b)][size_t(on)];
            g->setPen(QPen(on ? kBandOn : kBandOff, width, Qt::SolidLine, Qt::FlatCap));
            g->setData(keys[on], values[on], true);
        }
    }
    FitValueAxes();
}

void CHistoryChart::ShowAlarmPeriods(const QCPRange& range, int64_t newestMs) {
    const AlarmSnapshot alarms = history_.Alarms();
    size_t used = 0;
    auto mark = [&](const Alarm& alarm) {
        const double from = KeyOfMs(alarm.raisedUtcMs);
        const double to = KeyOfMs(std::max(alarm.clearedUtcMs.value_or(newestMs), alarm.raisedUtcMs));
        if (to < range.lower || from > range.upper) return;
        if (used == alarmMarks_.size()) {
            auto* rect = new QCPItemRect(this);
            rect->setLayer(QStringLiteral("grid"));   // behind the lines
            rect->setClipAxisRect(axisRect());
            for (QCPItemPosition* p : {rect->topLeft, rect->bottomRight}) {
                p->setAxes(xAxis, yAxis);
                p->setAxisRect(axisRect());
                p->setTypeX(QCPItemPosition::ptPlotCoords);
                p->setTypeY(QCPItemPosition::ptAxisRectRatio);
            }
            rect->setPen(Qt::NoPen);
            alarmMarks_.push_back(rect);
        }
        QCPItemRect* rect = alarmMarks_[used++];
        QColor fill = AlarmColours(alarm.severity).fill;
        fill.setAlpha(60);
        rect->setBrush(fill);
        // At least a second wide, so an alarm raised and cleared at once shows.
        rect->topLeft->setCoords(from, 0);
        rect->bottomRight->setCoords(std::max(to, from + 1), 1);
        rect->setVisible(true);
    };
    for (const Alarm& alarm : alarms.active) mark(alarm);
    for (const Alarm& alarm : alarms.recent) mark(alarm);
    for (size_t i = used; i < alarmMarks_.size(); ++i) alarmMarks_[i]->setVisible(false);
}

int CHistoryChart::AlarmMarksShown() const {
    return int(std::count_if(alarmMarks_.begin(), alarmMarks_.end(), [](const QCPItemRect* r) { return r->visible(); }));
}

void CHistoryChart::FitValueAxes() {
    auto fit = [this](QCPAxis* axis, int first, QCPRange fallback) {
        std::vector<QCPGraph*> graphs(series_.begin() + first, series_.begin() + first + kInputs);
        bool any = false;
        const QCPRange span = ValueSpan(graphs, any);
        if (!any) {
            axis->setRange(fallback);
            return;
        }
        // Whole multiples of 5 around the values, at least 10 apart.
        double low = std::floor(span.lower / 5.0) * 5.0 - 5.0;
        double high = std::ceil(span.upper / 5.0) * 5.0 + 5.0;
        if (high - low < 10) high = low + 10;
        axis->setRange(low, high);
    };
    fit(yAxis, 0, QCPRange(0, 40));
    fit(yAxis2, kInputs, QCPRange(-100, 0));
}

QString CHistoryChart::LatestText(const HistoryPoint* newest) {
    QStringList parts;
    for (int s = 0; s < kSeriesCount; ++s) {
        const double v = newest && newest->connected ? double(newest->series[s]) : std::nan("");
        parts << SeriesValueText(SeriesName(s), v, IsLevel(s) ? "dBm" : "dB");
    }
    return parts.join(QStringLiteral(", "));
}

QString CHistoryChart::ValuesAt(double key) const {
    HistoryPoint point;
    bool found = false;
    const int64_t ms = MsOfKey(key);
    history_.Read([&](const CSampleRing& ring) {
        if (ring.Empty()) return;
        size_t i = std::min(ring.LowerBound(ms), ring.Size() - 1);
        if (i > 0 && std::llabs(ring.At(i - 1).timeMs - ms) <= std::llabs(ring.At(i).timeMs - ms)) --i;
        point = ring.At(i);
        found = true;
    });
    if (!found) return QString();
    QString text = QString::fromStdString(FormatUtcMs(point.timeMs));
    if (!point.connected) return text + QStringLiteral("   not connected");
    for (int group = 0; group < 2; ++group) {
        QStringList parts;
        for (int s = group * kInputs; s < (group + 1) * kInputs; ++s) {
            if (!series_[size_t(s)]->visible()) continue;
            const float v = point.series[s];
            parts << InputLetter(s) + u' ' + (std::isnan(v) ? QStringLiteral("-") : Number(v));
        }
        if (!parts.isEmpty())
            text += (group == 0 ? QStringLiteral("   SNR ") : QStringLiteral("   Level ")) + parts.join(u' ') +
                    (group == 0 ? QStringLiteral(" dB") : QStringLiteral(" dBm"));
    }
    for (int b = 0; b < kLockBandCount; ++b) {
        if (point.locks[b] == LockState::Unknown) continue;
        text += QStringLiteral("   %1 %2").arg(kBandNames[b], point.locks[b] == LockState::On ? "on" : "off");
    }
    return text;
}
