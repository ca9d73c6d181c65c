#include "params/history_view.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The extremes of one series within a bucket.
struct SeriesBucket {
    int count = 0;
    float low = 0, high = 0;
    int64_t lowMs = 0, highMs = 0;

    void Add(float value, int64_t timeMs) {
        if (count == 0 || value < low) {
            low = value;
            lowMs = timeMs;
        }
        if (count == 0 || value > high) {
            high = value;
            highMs = timeMs;
        }
        ++count;
    }
};

// The points of one pixel column (or of one point, when points are sparse).
struct Bucket {
    bool open = false;
    int64_t index = 0;
    int64_t firstMs = 0;
    bool disconnected = false;
    std::array<SeriesBucket, kSeriesCount> series{};
    std::array<bool, kLockBandCount> on{}, off{};
};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

class ViewBuilder {
public:
    explicit ViewBuilder(HistoryView& view) : view_(view) {}

    void Add(const HistoryPoint& point, int64_t bucketIndex) {
        if (bucket_.open && bucket_.index != bucketIndex) Flush(point.timeMs);
        if (!bucket_.open) {
            bucket_ = Bucket{};
            bucket_.open = true;
            bucket_.index = bucketIndex;
            bucket_.firstMs = point.timeMs;
        }
        if (!point.connected) {
            bucket_.disconnected = true;
            return;
        }
        for (int s = 0; s < kSeriesCount; ++s) {
            if (!std::isnan(point.series[s])) bucket_.series[size_t(s)].Add(point.series[s], point.timeMs);
        }
        for (int b = 0; b < kLockBandCount; ++b) {
            if (point.locks[b] == LockState::On) bucket_.on[size_t(b)] = true;
            if (point.locks[b] == LockState::Off) bucket_.off[size_t(b)] = true;
        }
    }

    // A pause between `beforeMs` and `afterMs`: every line and band breaks.
    void Break(int64_t beforeMs, int64_t afterMs) {
        Flush(beforeMs);
        for (SeriesLine& line : view_.series) Push(line, (beforeMs + afterMs) / 2, kNaN);
    }

    // Ends the open bucket; its band states last until `untilMs`.
    void Flush(int64_t untilMs) {
        if (!bucket_.open) return;
        bucket_.open = false;
        for (int s = 0; s < kSeriesCount; ++s) FlushSeries(view_.series[size_t(s)], bucket_.series[size_t(s)]);
        for (int b = 0; b < kLockBandCount; ++b) {
            // A lock lost at any time in the column shows: off wins over on.
            const LockState state = bucket_.off[size_t(b)]  ? LockState::Off
                                    : bucket_.on[size_t(b)] ? LockState::On
                                                            : LockState::Unknown;
            ExtendBand(view_.bands[size_t(b)], state, bucket_.firstMs, untilMs);
        }
    }

private:
    static void Push(SeriesLine& line, int64_t timeMs, double value) {
        // One break is enough, and a line never starts with one.
        if (std::isnan(value) && (line.values.empty() || std::isnan(line.values.back()))) return;
        line.keys.push_back(KeyOfMs(timeMs));
        line.values.push_back(value);
    }

    void FlushSeries(SeriesLine& line, const SeriesBucket& s) {
        if (bucket_.disconnected || s.count == 0) {
            Push(line, bucket_.firstMs, kNaN);
            return;
        }
        if (s.count == 1 || s.lowMs == s.highMs) {
            Push(line, s.lowMs, s.low);
            return;
        }
        // Both extremes, in the order they came.
        if (s.lowMs < s.highMs) {
            Push(line, s.lowMs, s.low);
            Push(line, s.highMs, s.high);
        } else {
            Push(line, s.highMs, s.high);
            Push(line, s.lowMs, s.low);
        }
    }

    static void ExtendBand(std::vector<BandRun>& runs, LockState state, int64_t fromMs, int64_t untilMs) {
        if (state == LockState::Unknown) return;
        const double from = KeyOfMs(fromMs), until = KeyOfMs(std::max(fromMs, untilMs));
        if (!runs.empty() && runs.back().state == state && runs.back().toKey == from) {
            runs.back().toKey = until;
            return;
        }
        runs.push_back(BandRun{from, until, state});
    }

    HistoryView& view_;
    Bucket bucket_;
};

}  // namespace

int64_t TypicalIntervalMs(const CSampleRing& ring, size_t begin, size_t end) {
    if (end > ring.Size()) end = ring.Size();
    if (end < begin + 2) return 0;
    const size_t pairs = end - begin - 1;
    const size_t samples = std::min<size_t>(pairs, 64);
    std::vector<int64_t> deltas;
    deltas.reserve(samples);
    for (size_t k = 0; k < samples; ++k) {
        const size_t i = begin + k * pairs / samples;
        deltas.push_back(ring.At(i + 1).timeMs - ring.At(i).timeMs);
    }
    std::nth_element(deltas.begin(), deltas.begin() + std::ptrdiff_t(deltas.size() / 2), deltas.end());
    return std::max<int64_t>(0, deltas[deltas.size() / 2]);
}

HistoryView MakeHistoryView(const CSampleRing& ring, int64_t fromMs, int64_t toMs, int columns) {
    HistoryView view;
    if (ring.Empty() || toMs < fromMs) return view;
    size_t begin = ring.LowerBound(fromMs);
    if (begin > 0) --begin;
    const size_t end = std::min(ring.Size(), ring.LowerBound(toMs) + 1);
    if (begin >= end) return view;
    view.sourcePoints = end - begin;

    const int64_t bucketMs = std::max<int64_t>(1, (toMs - fromMs) / std::max(1, columns));
    const int64_t typical = TypicalIntervalMs(ring, begin, end);
    const int64_t gapMs = typical > 0 ? typical * kGapIntervals : std::numeric_limits<int64_t>::max();
    for (SeriesLine& line : view.series) {
        line.keys.reserve(std::min<size_t>(view.sourcePoints, size_t(std::max(1, columns)) * 2 + 16));
        line.values.reserve(line.keys.capacity());
    }

    ViewBuilder builder(view);
    int64_t previousMs = ring.At(begin).timeMs;
    for (size_t i = begin; i < end; ++i) {
        const HistoryPoint& point = ring.At(i);
        if (i > begin && point.timeMs - previousMs > gapMs) builder.Break(previousMs, point.timeMs);
        builder.Add(point, FloorDiv(point.timeMs - fromMs, bucketMs));
        previousMs = point.timeMs;
    }
    builder.Flush(previousMs);
    return view;
}
