#include "params/sample_ring.h"

#include <algorithm>

CSampleRing::CSampleRing(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

void CSampleRing::Push(const HistoryPoint& point) {
    if (size_ < capacity_) {
        if (points_.size() == points_.capacity()) {
            // Grow by half, never past the capacity.
            const size_t grown = std::max<size_t>(1024, points_.capacity() + points_.capacity() / 2);
            points_.reserve(std::min(capacity_, grown));
        }
        points_.push_back(point);
        ++size_;
        return;
    }
    points_[head_] = point;
    head_ = (head_ + 1) % capacity_;
}

void CSampleRing::Clear() {
    points_.clear();
    points_.shrink_to_fit();
    head_ = 0;
    size_ = 0;
}

const HistoryPoint& CSampleRing::At(size_t index) const { return points_[(head_ + index) % points_.size()]; }

size_t CSampleRing::LowerBound(int64_t timeMs) const {
    size_t low = 0;
    size_t high = size_;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (At(middle).timeMs < timeMs) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}
