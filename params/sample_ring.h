// The signal history: a bounded ring of history points, oldest first. When
// full, each new point replaces the oldest. Not locked: its owner locks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "params/poll_sample.h"

// The shortest poll interval the program accepts, and so the rate the ring
// is sized for: 24 hours of cycles at this interval.
inline constexpr uint32_t kMinPollIntervalMs = 100;
inline constexpr size_t kHistoryCapacity = size_t(24) * 3600 * 1000 / kMinPollIntervalMs;

class CSampleRing {
public:
    explicit CSampleRing(size_t capacity = kHistoryCapacity);

    // Storage grows with the points held, up to the capacity; it never grows past it.
    void Push(const HistoryPoint& point);
    void Clear();

    size_t Size() const { return size_; }
    size_t Capacity() const { return capacity_; }
    bool Empty() const { return size_ == 0; }
    // 0 is the oldest point held, Size() - 1 the newest.
    const HistoryPoint& At(size_t index) const;
    const HistoryPoint& Newest() const { return At(size_ - 1); }

    // The index of the first point at or after `timeMs` (Size() when none).
    // Points are kept in the order they came; times that go backwards (a
    // clock set back) only make the search less exact, never out of range.
    size_t LowerBound(int64_t timeMs) const;

    // Bytes held by the ring's storage.
    size_t StorageBytes() const { return points_.capacity() * sizeof(HistoryPoint); }

private:
    size_t capacity_;
    std::vector<HistoryPoint> points_;
    size_t head_ = 0;   // index in points_ of the oldest point once the ring is full
    size_t size_ = 0;
};
