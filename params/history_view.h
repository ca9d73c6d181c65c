// What the history window draws of one time span: for each plotted series the
// points of its line, and for each lock band its runs of one state. A span of
// many points is reduced to about one bucket per pixel column, keeping each
// bucket's smallest and largest value, so that a 24-hour span draws as fast
// as a minute and a one-sample spike still shows.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "params/poll_sample.h"
#include "params/sample_ring.h"

// One series' line. Keys are seconds since 1970 UTC (the chart's time axis);
// a NaN value breaks the line there: no line is ever drawn across a time
// without a connection, without a value, or a pause of several intervals.
struct SeriesLine {
    std::vector<double> keys;
    std::vector<double> values;
};

// A stretch of one known lock state (Unknown stretches are not listed).
struct BandRun {
    double fromKey = 0;
    double toKey = 0;
    LockState state = LockState::Unknown;
};

struct HistoryView {
    std::array<SeriesLine, kSeriesCount> series;
    std::array<std::vector<BandRun>, kLockBandCount> bands;
    size_t sourcePoints = 0;   // points of the ring the view was made of
};

// Seconds since 1970 for a wall-clock time in ms, and back.
inline double KeyOfMs(int64_t timeMs) { return double(timeMs) / 1000.0; }
inline int64_t MsOfKey(double key) { return int64_t(key * 1000.0 + (key >= 0 ? 0.5 : -0.5)); }

// A pause longer than this many typical intervals breaks the lines.
inline constexpr int kGapIntervals = 3;

// The view of the points from `fromMs` to `toMs` (with one more point on each
// side, so that lines run to the edges), in about `columns` buckets.
HistoryView MakeHistoryView(const CSampleRing& ring, int64_t fromMs, int64_t toMs, int columns);

// The typical interval between the points [begin, end) of `ring` (the median
// of up to 64 spaced pairs); 0 when there are fewer than two points.
int64_t TypicalIntervalMs(const CSampleRing& ring, size_t begin, size_t end);
