// The samples' road into the count: the turning points of a signal fed in
// chunks, each with its index in the whole record, and the gate that drops
// small reversals from them.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "cyclewright/records.hpp"

namespace cyclewright::records {

// A value of the signal and where it stands in the whole record.
struct Point {
    double value;
    std::int64_t index;
};

// Turning points in blocks: the first sample, every interior turning point
// and, at finish, the last sample (the first once more for one sample), as
// the module's get_peaktrough keeps them. Under FlatTops::merge each run of
// equal samples is its first sample, so a flat top is one turning point.
class TurningPoints {
public:
    static constexpr std::size_t kBlock = 1024;

    explicit TurningPoints(FlatTops rule) noexcept : rule_(rule) {}

    // on_block(std::span<const Point>) receives the points, in order.
    template <class OnBlock>
    void feed(std::span<const double> chunk, std::int64_t first_index, OnBlock&& on_block);
    template <class OnBlock>
    void finish(OnBlock&& on_block) {
        block_[kept_++] = cur_;
        flush(on_block);
    }

    // The state between chunks (saved with a counter).
    FlatTops rule_;
    bool started_ = false;
    // The value before cur_ (the run before it, when merging); NaN at the
    // start, where every comparison fails, so the first sample is no turning
    // point a second time.
    double prev_ = std::numeric_limits<double>::quiet_NaN();
    Point cur_{0.0, 0};

private:
    template <class OnBlock>
    void flush(OnBlock& on_block) {
        if (kept_ != 0) on_block(std::span<const Point>(block_.data(), kept_));
        kept_ = 0;
    }

    std::array<Point, kBlock + 1> block_;
    std::size_t kept_ = 0;
};

// A strict local maximum or minimum; false whenever p is NaN. Bitwise
// operators keep the test free of branches: the outcome is as good as random.
inline bool is_turning_point(double p, double c, double q) {
    return (static_cast<unsigned>(q < c) & static_cast<unsigned>(p < c)) |
           (static_cast<unsigned>(c < q) & static_cast<unsigned>(c < p));
}

template <class OnBlock>
void TurningPoints::feed(std::span<const double> chunk, std::int64_t first_index, OnBlock&& on_block) {
    std::size_t i = 0;
    const std::size_t n = chunk.size();
    if (!started_ && n != 0) {
        cur_ = {chunk[0], first_index};
        block_[kept_++] = cur_;  // the first sample always stands
        started_ = true;
        i = 1;
    }
    const double* x = chunk.data();
    // The loop's state in locals: stores to the block could otherwise alias
    // the members and force them through memory on every sample.
    double prev = prev_;
    Point cur = cur_;
    std::size_t kept = kept_;
    Point* const block = block_.data();
    while (i < n) {
        std::size_t stop = std::min(n, i + (kBlock - kept));
        // Where cur is the last sample alone (always when dropping, and when
        // merging once a run has ended), prev is the sample before it, and in
        // a stretch without equal neighbours each test stands alone: the
        // tests are independent of one another and the loop carries nothing
        // but the cursor.
        const bool stretch =
            i >= 2 && (rule_ == FlatTops::drop || cur.index == first_index + static_cast<std::int64_t>(i) - 1);
        std::array<unsigned char, kBlock> turns;
        unsigned equal = 0;  // merging, a stretch with equal neighbours goes one sample at a time
        if (stretch) {
            for (std::size_t j = i; j < stop; ++j) {
                turns[j - i] = is_turning_point(x[j - 2], x[j - 1], x[j]);
                equal |= static_cast<unsigned>(x[j] == x[j - 1]);
            }
        }
        if (stretch && (rule_ == FlatTops::drop || equal == 0)) {
            // Every candidate is written; the cursor moves past turning points only.
            for (std::size_t j = i; j < stop; ++j) {
                block[kept] = {x[j - 1], first_index + static_cast<std::int64_t>(j) - 1};
                kept += turns[j - i];
            }
            prev = x[stop - 2];
            cur = {x[stop - 1], first_index + static_cast<std::int64_t>(stop) - 1};
            i = stop;
        } else {
            // One sample at a time, with the state: a step or two where the
            // stretches cannot start yet, a block with equal neighbours whole.
            if (!stretch) stop = std::min(stop, i + 2);
            if (rule_ == FlatTops::drop) {
                for (; i < stop; ++i) {
                    block[kept] = cur;
                    kept += is_turning_point(prev, cur.value, x[i]);
                    prev = cur.value;
                    cur = {x[i], first_index + static_cast<std::int64_t>(i)};
                }
            } else {
                for (; i < stop; ++i) {
                    const double v = x[i];
                    const bool differs = v != cur.value;
                    block[kept] = cur;
                    kept += static_cast<unsigned>(differs) &
                            static_cast<unsigned>(is_turning_point(prev, cur.value, v));
                    prev = differs ? cur.value : prev;
                    cur.index = differs ? first_index + static_cast<std::int64_t>(i) : cur.index;
                    cur.value = differs ? v : cur.value;  // the run's first sample: -0.0 stays -0.0
                }
            }
        }
        if (kept == kBlock) {
            kept_ = kept;
            flush(on_block);
            kept = 0;
        }
    }
    prev_ = prev;
    cur_ = cur;
    kept_ = kept;
    flush(on_block);
}

// Drops reversals smaller than the gate: a turning point passes once the
// signal has moved away from it by at least the gate. The first point passes
// always; at the end the extreme reached since the last one that passed
// (or, when the signal never left the gate around its start, the last point).
class Gate {
public:
    explicit Gate(double gate) noexcept : gate_(gate) {}

    template <class Next>
    void push(Point p, Next& next) {
        last_ = p;
        if (!started_) {
            started_ = true;
            anchor_ = low_ = high_ = p;
            next(p);
        } else if (trend_ == 0) {
            // No direction yet: the lowest and highest points since the start.
            if (p.value - low_.value >= gate_) {
                if (low_.index != anchor_.index) next(low_);
                trend_ = 1, extreme_ = p;
            } else if (high_.value - p.value >= gate_) {
                if (high_.index != anchor_.index) next(high_);
                trend_ = -1, extreme_ = p;
            } else {
                if (p.value < low_.value) low_ = p;
                if (p.value > high_.value) high_ = p;
            }
        } else if (trend_ > 0 ? p.value > extreme_.value : p.value < extreme_.value) {
            extreme_ = p;
        } else if (std::fabs(extreme_.value - p.value) >= gate_) {
            next(extreme_);
            trend_ = -trend_, extreme_ = p;
        }
    }

    template <class Next>
    void finish(Next& next) {
        next(trend_ != 0 ? extreme_ : last_);
    }

    double gate_;
    bool started_ = false;
    int trend_ = 0;  // +1 rising to extreme_, -1 falling to it, 0 undecided
    Point anchor_{}, low_{}, high_{}, extreme_{}, last_{};
};

}  // namespace cyclewright::records
