#include <algorithm>
#include <cmath>

#include "cyclewright/cycles.hpp"
#include "cyclewright/power.hpp"
#include "power_sum.hpp"
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
    detail::PowerSum sum(m, detail::PowerSum::helper_pays(samples));
    // Ranges of closed cycles go to the sum a chunk at a time, in the order
    // they closed; each stands for two records.
    constexpr std::size_t kChunk = detail::PowerSum::kChunk;
    double* ranges = sum.chunk();
    std::size_t kept = 0;
    detail::TurningPointStream stream([&](std::span<const double> block) {
        stack.push(block, [&](double, double, double range, bool closed) {
            ranges[kept] = range;  // written always, kept only when closed
            kept += closed;
            if (kept == kChunk) [[unlikely]] {
                sum.submit(kept, true);
                ranges = sum.chunk();
                kept = 0;
            }
        });
    });
    for (const auto& piece : pieces) stream.feed(piece);
    stream.finish();
    sum.submit(kept, true);
    // The residue: one half cycle per neighbouring pair, twice unless `half`.
    const std::span<const double> r = stack.residue();
    for (std::size_t start = 1; start < r.size(); start += kChunk) {
        const std::size_t count = std::min(kChunk, r.size() - start);
        ranges = sum.chunk();
        for (std::size_t j = 0; j < count; ++j) ranges[j] = std::fabs(r[start + j] - r[start + j - 1]);
        sum.submit(count, !half);
    }
    // neq rounds to the nearest double; doubling it is exact.
    const double twice_neq = 2.0 * static_cast<double>(neq);
    return power(sum.finish() / twice_neq, 1.0 / m);
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
