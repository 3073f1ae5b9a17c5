// The streaming loads (CountKernels::load and closed_load): the same
// operations in the same order in every build, so every build gives the same
// bits.
#pragma once

#include "isa/isa.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <cstdint>
#include <span>

#include "isa/power_sum.hpp"
#include "isa/rainflow_stack.hpp"
#include "isa/turning_point_stream.hpp"
#include "kernels.hpp"

namespace cyclewright::detail::CYCLEWRIGHT_ISA {

// The ranges of closed cycles, gathered into the power sum's chunks: each
// stands for two records. Held by value in the counting loop (see
// RainflowStack::push), so its cursor lives in a register.
struct ClosedRanges {
    PowerSum* sum;
    double* out;
    std::size_t count;

    void operator()(double, double, double range, bool closed) {
        out[count] = range;  // written always, kept only when closed
        count += closed;
        if (count == PowerSum::kChunk) [[unlikely]] {
            sum->submit(count, true);
            out = sum->chunk();
            count = 0;
        }
    }
};

// The load of a signal given in consecutive pieces, in one pass: turning
// points go straight into the rainflow stack and each counted range straight
// into the power sum, in exactly the order of the half-cycle list, so the
// result is bit for bit that of summing over get_halfcycles(get_peaktrough()).
// With a copy (else null), the first piece is copied there as it is read.
template <std::size_t Pieces>
inline double streamed_eq_load(const LaneKernels& lanes, const std::span<const double> (&pieces)[Pieces],
                               std::size_t samples, double m, std::uint64_t neq, bool half,
                               double* copy = nullptr) {
    RainflowStack stack(samples + 1);
    PowerSum sum(lanes, m);
    ClosedRanges closed{&sum, sum.chunk(), 0};
    TurningPointStream stream(lanes, [&](std::span<const double> block) { closed = stack.push(block, closed); });
    stream.feed(pieces[0], copy);
    for (std::size_t i = 1; i < Pieces; ++i) stream.feed(pieces[i]);
    stream.finish();
    sum.submit(closed.count, true);
    // The residue: one half cycle per neighbouring pair, twice unless `half`.
    const std::span<const double> r = stack.residue();
    constexpr std::size_t kChunk = PowerSum::kChunk;
    for (std::size_t start = 1; start < r.size(); start += kChunk) {
        const std::size_t count = std::min(kChunk, r.size() - start);
        double* const ranges = sum.chunk();
        for (std::size_t j = 0; j < count; ++j) ranges[j] = std::fabs(r[start + j] - r[start + j - 1]);
        sum.submit(count, !half);
    }
    // neq rounds to the nearest double; doubling it is exact.
    const double twice_neq = 2.0 * static_cast<double>(neq);
    return lanes.power(sum.sum() / twice_neq, 1.0 / m);
}

// The load of a non-empty signal.
inline double load_of(const LaneKernels& lanes, std::span<const double> signal, double* copy, double m,
                      std::uint64_t neq, bool half) {
    const std::span<const double> pieces[] = {signal};
    return streamed_eq_load(lanes, pieces, signal.size(), m, neq, half, copy);
}

// The load of the signal closed at its last maximum, k < size.
inline double closed_load_of(const LaneKernels& lanes, std::span<const double> signal, std::size_t k, double m,
                             std::uint64_t neq, bool half) {
    // The closed signal signal[k..n), signal[0..k), signal[k], fed as three
    // pieces instead of being copied.
    const std::span<const double> pieces[] = {signal.subspan(k), signal.first(k), signal.subspan(k, 1)};
    return streamed_eq_load(lanes, pieces, signal.size() + 1, m, neq, half);
}

// The ranges of closed cycles, handed on in chunks (CountKernels::ranges).
struct RangeChunks {
    static constexpr std::size_t kChunk = 1024;
    double* chunk;
    std::size_t count;
    RangeSink sink;
    void* context;

    void operator()(double, double, double range, bool closed) {
        chunk[count] = range;  // written always, kept only when closed
        count += closed;
        if (count == kChunk) [[unlikely]] {
            sink(context, chunk, count, true);
            count = 0;
        }
    }
};

inline void ranges_of(const LaneKernels& lanes, std::span<const std::span<const double>> pieces, bool merge,
                      RangeSink sink, void* context) {
    std::size_t samples = 0;
    for (const auto& piece : pieces) samples += piece.size();
    RainflowStack stack(samples + 1);
    std::array<double, RangeChunks::kChunk> chunk;
    RangeChunks closed{chunk.data(), 0, sink, context};
    TurningPointStream stream(lanes, [&](std::span<const double> block) { closed = stack.push(block, closed); });
    if (!merge) {
        for (const auto& piece : pieces) stream.feed(piece);
    } else {
        // Each run of equal samples as its first, a block at a time; the
        // first sample differs from the NaN before it.
        std::array<double, 1024> merged;
        std::size_t kept = 0;
        double last = std::numeric_limits<double>::quiet_NaN();
        for (const auto& piece : pieces)
            for (std::size_t i = 0; i < piece.size();) {
                const std::size_t stop = std::min(piece.size(), i + (merged.size() - kept));
                for (; i < stop; ++i) {
                    merged[kept] = piece[i];
                    kept += piece[i] != last;
                    last = piece[i];
                }
                if (kept == merged.size()) {
                    stream.feed(std::span<const double>(merged.data(), kept));
                    kept = 0;
                }
            }
        stream.feed(std::span<const double>(merged.data(), kept));
    }
    stream.finish();
    if (closed.count != 0) sink(context, chunk.data(), closed.count, true);
    const std::span<const double> r = stack.residue();
    for (std::size_t start = 1; start < r.size(); start += chunk.size()) {
        const std::size_t count = std::min(chunk.size(), r.size() - start);
        for (std::size_t j = 0; j < count; ++j) chunk[j] = std::fabs(r[start + j] - r[start + j - 1]);
        sink(context, chunk.data(), count, false);
    }
}

}  // namespace cyclewright::detail::CYCLEWRIGHT_ISA
