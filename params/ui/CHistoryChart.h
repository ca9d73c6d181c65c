// The strip chart of the signal history: the four SNR values (dB, left axis)
// and the four input levels (dBm, right axis) against UTC wall-clock time,
// with the three lock bands in a strip under it. It shows one span of the
// history at a time, read from the ring and reduced to about one point pair
// per pixel column; "follow" keeps the newest sample at the right edge, and a
// pan or zoom with the mouse ends following.
#pragma once
#include <qcustomplot.h>

#include <array>
#include <vector>

#include "params/history_view.h"

class CSignalHistory;

class CHistoryChart : public QCustomPlot {
    Q_OBJECT
public:
    // The spans offered, in seconds: 1 min, 10 min, 1 h, 8 h, 24 h.
    static constexpr std::array<int, 5> kSpanSeconds = {60, 600, 3600, 8 * 3600, 24 * 3600};

    explicit CHistoryChart(const CSignalHistory& history, QWidget* parent = nullptr);

    // Reads the shown span from the history and draws it (queued, or at once).
    void Refresh(bool immediately = false);

    void SetSpanSeconds(int seconds);
    int SpanSeconds() const { return spanSeconds_; }
    void SetFollow(bool follow);
    bool Following() const { return follow_; }
    void SetSeriesVisible(int series, bool visible);

    QCPGraph* SeriesGraph(int series) const { return series_[size_t(series)]; }
    // The graph that draws a band's stretches of `state` (On or Off).
    QCPGraph* BandGraph(int band, LockState state) const;
    // The shaded alarm periods drawn in the shown span.
    int AlarmMarksShown() const;
    // A series' colour, as light or dark as lines on `background` need.
    static QColor SeriesColour(int series, const QColor& background);
    // "SNR A", ..., "Level D".
    static QString SeriesName(int series);

    // One line about the sample nearest to the time `key` (seconds since 1970):
    // its UTC time, the values of the series shown and the lock states.
    QString ValuesAt(double key) const;
    // The newest sample's values as words, SNR A to D then level A to D ("SNR A
    // 23.5 dB, ..., Level D no value"; every series "no value" while not
    // connected): the chart's accessible description and tool tip.
    static QString LatestText(const HistoryPoint* newest);

protected:
    // Background, axes, grid, legend and lines follow the widget's palette.
    void changeEvent(QEvent* event) override;

signals:
    // The operator panned or zoomed: following has ended.
    void followEnded();
    // The mouse is over the chart at time `key`.
    void cursorAt(double key);

private:
    void BuildAxes();
    void ApplyPalette();
    void ShowView(const HistoryView& view);
    void FitValueAxes();
    void ShowAlarmPeriods(const QCPRange& range, int64_t newestMs);
    void OnRangeChanged(const QCPRange& range);

    const CSignalHistory& history_;
    QCPAxisRect* bandRect_ = nullptr;
    std::array<QCPGraph*, kSeriesCount> series_{};
    std::array<std::array<QCPGraph*, 2>, kLockBandCount> bands_{};   // [band][off, on]
    QCPItemStraightLine* cursor_ = nullptr;
    std::vector<QCPItemRect*> alarmMarks_;   // reused; the ones not needed are hidden
    int spanSeconds_ = kSpanSeconds[1];
    bool follow_ = true;
    int settingRange_ = 0;      // range changes made here, not by the operator
};
