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
        if (seen_ == 0 && !piece.empty()) {
            emit(piece[0]);  // the first sample always stands in the sequence
            prev_ = cur_ = piece[0];
            seen_ = 1;
            i = 1;
        }
        for (; i < piece.size(); ++i) {
            const double next = piece[i];
            if (seen_ >= 2) {
                // Written unconditionally; the cursor moves past turning points only.
                block_[kept_] = cur_;
                kept_ += is_turning_point(prev_, cur_, next);
                if (kept_ == kBlock) flush();
            }
            prev_ = cur_;
            cur_ = next;
            ++seen_;
        }
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
