// Turning points of a signal given in one or more consecutive pieces, handed
// on in blocks: the streaming form of get_peaktrough, for computations that
// never need the whole peak-trough sequence at once.
#pragma once

#include "isa/isa.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "isa/turning_points.hpp"
#include "kernels.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

template <class OnBlock>
class TurningPointStream {
public:
    // Most centres go through `lanes`' compact_turning_points.
    TurningPointStream(const LaneKernels& lanes, OnBlock on_block)
        : compact_(lanes.compact_turning_points),
          copy_compact_(lanes.copy_compact_turning_points),
          on_block_(on_block) {}

    // Feeds the next piece of the signal; with a copy (else null), copies
    // the piece there in the same pass.
    void feed(std::span<const double> piece, double* copy = nullptr) {
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
        // The windows that straddle the previous piece, one sample at a time.
        for (; i < n && i < 2; ++i) step(piece[i]);
        // The centres piece[i - 1 .. n - 2] have both neighbours in this
        // piece: compacted a block's free room at a time.
        if (i >= n) {
            if (copy != nullptr) std::copy(piece.begin(), piece.end(), copy);
        } else {
            const double* centre = piece.data() + i - 1;
            std::size_t left = n - i;
            if (copy != nullptr) {  // the samples that are no centre here
                std::copy(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(i - 1), copy);
                copy[n - 1] = piece[n - 1];
                copy += i - 1;
            }
            while (left != 0) {
                const std::size_t chunk = std::min(left, kBlock - kept_);
                if (copy == nullptr) {
                    kept_ += compact_(centre, chunk, block_.data() + kept_);
                } else {
                    kept_ += copy_compact_(centre, chunk, copy, block_.data() + kept_);
                    copy += chunk;
                }
                if (kept_ >= kBlock / 2) flush();
                centre += chunk;
                left -= chunk;
            }
            prev_ = piece[n - 2];
            cur_ = piece[n - 1];
        }
    }

    // Ends the signal: its last sample (the first once more for one sample).
    void finish() {
        emit(cur_);
        flush();
    }

private:
    static constexpr std::size_t kBlock = 512;

    // Moves the window one sample on: decides whether cur_ is kept.
    void step(double next) {
        block_[kept_] = cur_;
        kept_ += is_turning_point(prev_, cur_, next);
        if (kept_ == kBlock) flush();
        prev_ = cur_;
        cur_ = next;
    }

    void emit(double v) {
        block_[kept_++] = v;
        if (kept_ == kBlock) flush();
    }

    void flush() {
        if (kept_ != 0) on_block_(std::span<const double>(block_.data(), kept_));
        kept_ = 0;
    }

    std::size_t (*const compact_)(const double*, std::size_t, double*) noexcept;
    std::size_t (*const copy_compact_)(const double*, std::size_t, double*, double*) noexcept;
    OnBlock on_block_;
    std::array<double, kBlock + kCompactSlack> block_;
    std::size_t kept_ = 0;
    std::size_t seen_ = 0;
    double prev_ = 0, cur_ = 0;
};

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
