// Turning points of a signal given in one or more consecutive pieces, handed
// on in blocks: the streaming form of get_peaktrough, for computations that
// never need the whole peak-trough sequence at once.
#pragma once

#include <array>
#include <span>

#include "turning_point.hpp"

namespace cyclewright::detail {

template <class OnBlock>
class TurningPointStream {
public:
    explicit TurningPointStream(OnBlock on_block) : on_block_(on_block) {}

    // Feeds the next piece of the signal.
    void feed(std::span<const double> piece) {
        std::size_t i = 0;
        const std::size_t n = piece.size();
        if (seen_ == 0 && i < n) {
            emit(piece[i]);  // the first sample always stands in the sequence
            cur_ = piece[i++];
            seen_ = 1;
        }
        if (seen_ == 1 && i < n) {  // the first window needs two samples before it
            prev_ = cur_;
            cur_ = piece[i++];
            seen_ = 2;
        }
        // Locals, not members: the block is written every step, and the
        // compiler cannot keep members that it might alias in registers.
        double prev = prev_, cur = cur_;
        std::size_t kept = kept_;
        double* const block = block_.data();
        for (; i < n; ++i) {
            const double next = piece[i];
            // Written unconditionally; the cursor moves past turning points only.
            block[kept] = cur;
            kept += is_turning_point(prev, cur, next);
            if (kept == kBlock) [[unlikely]] {
                on_block_(std::span<const double>(block, kept));
                kept = 0;
            }
            prev = cur;
            cur = next;
        }
        prev_ = prev, cur_ = cur, kept_ = kept;
    }

    // Ends the signal: its last sample (the first once more for one sample).
    void finish() {
        emit(cur_);
        flush();
    }

private:
    static constexpr std::size_t kBlock = 512;

    void emit(double v) {
        block_[kept_++] = v;
        if (kept_ == kBlock) flush();
    }

    void flush() {
        if (kept_ != 0) on_block_(std::span<const double>(block_.data(), kept_));
        kept_ = 0;
    }

    OnBlock on_block_;
    std::array<double, kBlock + 1> block_;
    std::size_t kept_ = 0;
    std::size_t seen_ = 0;
    double prev_ = 0, cur_ = 0;
};

}  // namespace cyclewright::detail
