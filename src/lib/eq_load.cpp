#include <algorithm>
#include <array>
#include <cmath>

#include "cyclewright/cycles.hpp"
#include "cyclewright/power.hpp"
#include "rainflow_stack.hpp"
#include "turning_point_stream.hpp"

namespace cyclewright {
namespace {

// The load of a signal given in consecutive pieces, in one pass: turning
// points go straight into the rainflow stack and each counted range straight
// into the power sum, in exactly the order of the half-cycle list, so the
// result is bit for bit that of summing over get_halfcycles(get_peaktrough()).
template <std::size_t Pieces>
double streamed_eq_load(const std::span<const double> (&pieces)[Pieces], std::size_t samples, double m,
                        std::uint64_t neq, bool half) {
    detail::RainflowStack stack(samples + 1);
    double sum = -0.0;  // the fold starts at -0.0; no reordering, no FMA
    // Ranges of closed cycles are gathered in a small buffer and summed a
    // block at a time, in the order they closed.
    constexpr std::size_t kBlock = 256;
    std::array<double, kBlock + 1> ranges;
    std::size_t kept = 0;
    auto add_closed = [&] {
        power_of_each(ranges.data(), kept, m, ranges.data());
        for (std::size_t j = 0; j < kept; ++j) {
            sum += ranges[j];  // a full cycle is two records: two additions
            sum += ranges[j];
        }
        kept = 0;
    };
    detail::TurningPointStream stream([&](std::span<const double> block) {
        stack.push(block, [&](double, double, double range, bool closed) {
            ranges[kept] = range;
            kept += closed;
            if (kept == kBlock) [[unlikely]] add_closed();
        });
    });
    for (const auto& piece : pieces) stream.feed(piece);
    stream.finish();
    add_closed();
    // The residue: one half cycle per neighbouring pair, twice unless `half`.
    const std::span<const double> r = stack.residue();
    for (std::size_t start = 1; start < r.size(); start += kBlock) {
        const std::size_t count = std::min(kBlock, r.size() - start);
        for (std::size_t j = 0; j < count; ++j) ranges[j] = std::fabs(r[start + j] - r[start + j - 1]);
        power_of_each(ranges.data(), count, m, ranges.data());
        for (std::size_t j = 0; j < count; ++j) {
            sum += ranges[j];
            if (!half) sum += ranges[j];
        }
    }
    // neq rounds to the nearest double; doubling it is exact.
    const double twice_neq = 2.0 * static_cast<double>(neq);
    return power(sum / twice_neq, 1.0 / m);
}

// Index of the last of the equal maxima, or signal.size() when no sample is a
// number. NaN samples neither become nor displace the maximum, and -0.0 and
// +0.0 count as equal. Two passes that vectorise: the value, then its last
// occurrence.
std::size_t last_maximum(std::span<const double> signal) {
    double top = -INFINITY;
    for (const double x : signal) top = x > top ? x : top;  // false for NaN: skipped
    for (std::size_t i = signal.size(); i-- > 0;)
        if (signal[i] == top) return i;
    return signal.size();  // empty, or NaN only
}

}  // namespace

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    if (signal.empty()) fail(kEmptySignalMessage);
    const std::span<const double> pieces[] = {signal};
    return streamed_eq_load(pieces, signal.size(), m, neq, half);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m,
                                     std::uint64_t neq, bool half) {
    const std::size_t k = last_maximum(signal);
    if (k == signal.size()) fail(kNoMaximumMessage);
    // The closed signal signal[k..n), signal[0..k), signal[k], fed as three
    // pieces instead of being copied.
    const std::span<const double> pieces[] = {signal.subspan(k), signal.first(k), signal.subspan(k, 1)};
    return streamed_eq_load(pieces, signal.size() + 1, m, neq, half);
}

}  // namespace cyclewright
