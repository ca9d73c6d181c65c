// The history window's view of a span: lines broken where there was no
// connection or a long pause, a day reduced to about one bucket per column
// without losing a spike, and lock bands with a lost lock always showing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "params/history_view.h"

namespace {

constexpr int64_t kStart = 1'800'000'000'000;   // a wall-clock time in ms

HistoryPoint Point(int64_t timeMs, float snr, bool connected = true, LockState lock = LockState::On) {
    HistoryPoint p;
    p.timeMs = timeMs;
    p.connected = connected;
    for (int s = 0; s < kSeriesCount; ++s) p.series[s] = connected ? snr + float(s) : NAN;
    for (LockState& l : p.locks) l = connected ? lock : LockState::Unknown;
    return p;
}

size_t CountNaN(const SeriesLine& line) {
    return size_t(std::count_if(line.values.begin(), line.values.end(), [](double v) { return std::isnan(v); }));
}

TEST(HistoryView, ADisconnectedStretchBreaksEveryLineAndLeavesNoBand) {
    CSampleRing ring(1000);
    for (int i = 0; i < 30; ++i) ring.Push(Point(kStart + i * 1000, 20.0f, i < 10 || i >= 20));
    const HistoryView view = MakeHistoryView(ring, kStart, kStart + 29'000, 800);
    EXPECT_EQ(view.sourcePoints, 30u);
    for (int s = 0; s < kSeriesCount; ++s) {
        const SeriesLine& line = view.series[size_t(s)];
        ASSERT_EQ(line.keys.size(), line.values.size());
        // Ten values, one break, ten values: never a line from 9 s to 20 s.
        EXPECT_EQ(line.values.size(), 21u) << s;
        EXPECT_EQ(CountNaN(line), 1u) << s;
        EXPECT_TRUE(std::isnan(line.values[10])) << s;
        EXPECT_DOUBLE_EQ(line.keys[10], KeyOfMs(kStart + 10'000));
        EXPECT_FLOAT_EQ(float(line.values[9]), 20.0f + float(s));
        EXPECT_DOUBLE_EQ(line.keys[11], KeyOfMs(kStart + 20'000));
    }
    // The bands: on before, nothing while disconnected, on after.
    for (const auto& runs : view.bands) {
        ASSERT_EQ(runs.size(), 2u);
        EXPECT_EQ(runs[0].state, LockState::On);
        EXPECT_LE(runs[0].toKey, KeyOfMs(kStart + 10'000));
        EXPECT_GE(runs[1].fromKey, KeyOfMs(kStart + 20'000));
    }
}

TEST(HistoryView, APauseOfSeveralIntervalsBreaksTheLines) {
    CSampleRing ring(100);
    for (int i = 0; i < 10; ++i) ring.Push(Point(kStart + i * 500, 10.0f));
    // The poll thread stalled for 5 s, then went on.
    for (int i = 0; i < 10; ++i) ring.Push(Point(kStart + 9'500 + i * 500, 10.0f));
    const HistoryView view = MakeHistoryView(ring, kStart, kStart + 14'000, 1000);
    EXPECT_EQ(CountNaN(view.series[0]), 1u);
    EXPECT_EQ(view.bands[0].size(), 2u);
    // No pause: no break.
    CSampleRing steady(100);
    for (int i = 0; i < 20; ++i) steady.Push(Point(kStart + i * 500, 10.0f));
    EXPECT_EQ(CountNaN(MakeHistoryView(steady, kStart, kStart + 10'000, 1000).series[0]), 0u);
}

TEST(HistoryView, ADayIsReducedToTheColumnsAndKeepsItsSpikes) {
    const int64_t interval = 500;
    const size_t count = 172'800;
    CSampleRing ring(count);
    for (size_t i = 0; i < count; ++i) {
        float snr = 20.0f + float(i % 7) * 0.1f;
        if (i == 100'000) snr = 45.0f;   // one sample's spike
        if (i == 50'000) snr = -3.0f;    // and one dip
        LockState lock = i == 120'000 ? LockState::Off : LockState::On;   // one lost lock
        ring.Push(Point(kStart + int64_t(i) * interval, snr, true, lock));
    }
    const int columns = 1000;
    const HistoryView view = MakeHistoryView(ring, kStart, kStart + int64_t(count - 1) * interval, columns);
    EXPECT_EQ(view.sourcePoints, count);
    const SeriesLine& line = view.series[0];
    EXPECT_LE(line.values.size(), size_t(columns) * 2 + 4);
    EXPECT_GE(line.values.size(), size_t(columns));
    EXPECT_EQ(CountNaN(line), 0u);
    EXPECT_DOUBLE_EQ(*std::max_element(line.values.begin(), line.values.end()), 45.0);
    EXPECT_DOUBLE_EQ(*std::min_element(line.values.begin(), line.values.end()), -3.0);
    EXPECT_TRUE(std::is_sorted(line.keys.begin(), line.keys.end()));
    // The one red sample shows as a red run among green ones.
    const auto& runs = view.bands[kBandDemodLock];
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].state, LockState::On);
    EXPECT_EQ(runs[1].state, LockState::Off);
    EXPECT_EQ(runs[2].state, LockState::On);
    EXPECT_LE(runs[1].fromKey, KeyOfMs(kStart + 120'000 * interval));
    EXPECT_GE(runs[1].toKey, KeyOfMs(kStart + 120'000 * interval));
    // The runs join without a hole.
    EXPECT_DOUBLE_EQ(runs[0].toKey, runs[1].fromKey);
    EXPECT_DOUBLE_EQ(runs[1].toKey, runs[2].fromKey);
}

TEST(HistoryView, OnlyTheSpanAndOnePointOnEachSide) {
    CSampleRing ring(1000);
    for (int i = 0; i < 600; ++i) ring.Push(Point(kStart + i * 1000, float(i)));
    // The last minute of ten.
    const HistoryView view = MakeHistoryView(ring, kStart + 540'000, kStart + 599'000, 600);
    EXPECT_EQ(view.sourcePoints, 61u);   // 540..599 and 539
    EXPECT_DOUBLE_EQ(view.series[0].values.front(), 539.0);
    EXPECT_DOUBLE_EQ(view.series[0].values.back(), 599.0);
    // A span after the newest point still shows the newest point; an empty
    // ring or a reversed span shows nothing.
    EXPECT_EQ(MakeHistoryView(ring, kStart + 700'000, kStart + 760'000, 600).sourcePoints, 1u);
    EXPECT_EQ(MakeHistoryView(CSampleRing(10), kStart, kStart + 1000, 600).sourcePoints, 0u);
    EXPECT_EQ(MakeHistoryView(ring, kStart + 1000, kStart, 600).sourcePoints, 0u);
}

TEST(HistoryView, ASeriesNotPolledIsAGapWhileTheOthersDraw) {
    CSampleRing ring(100);
    for (int i = 0; i < 10; ++i) {
        HistoryPoint p = Point(kStart + i * 1000, 12.0f);
        if (i >= 4 && i < 7) p.series[kColLevelA - kFirstSeriesColumn] = NAN;   // levels not polled
        ring.Push(p);
    }
    const HistoryView view = MakeHistoryView(ring, kStart, kStart + 9000, 500);
    EXPECT_EQ(CountNaN(view.series[0]), 0u);
    EXPECT_EQ(CountNaN(view.series[size_t(kColLevelA - kFirstSeriesColumn)]), 1u);
}

TEST(HistoryView, TypicalIntervalIsTheMedianSpacing) {
    CSampleRing ring(100);
    int64_t t = kStart;
    for (int i = 0; i < 50; ++i) {
        ring.Push(Point(t, 1.0f));
        t += i == 25 ? 60'000 : 2000;   // one long pause does not move it
    }
    EXPECT_EQ(TypicalIntervalMs(ring, 0, ring.Size()), 2000);
    EXPECT_EQ(TypicalIntervalMs(ring, 0, 1), 0);
}

}  // namespace
