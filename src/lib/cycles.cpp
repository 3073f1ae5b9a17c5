// The public functions (cyclewright/cycles.hpp), each by a given table of
// kernels (kernels.hpp) and by the chosen one.
#include "cyclewright/cycles.hpp"

#include <algorithm>
#include <array>

#include "growth.hpp"
#include "kernels.hpp"

namespace cyclewright {

// ---- Turning points --------------------------------------------------------------

std::vector<double> detail::get_peaktrough(const Kernels& build, std::span<const double> signal) {
    if (signal.empty()) throw EmptySignal();
    const std::size_t n = signal.size();
    const double* s = signal.data();

    // A counting pass first, so that the output is allocated once with the
    // capacity that doubling from four would reach.
    const std::size_t turning = n < 3 ? 0 : build.lanes.count_turning_points(s + 1, n - 2);

    std::vector<double> out;
    out.reserve(doubling_capacity(turning + 2));
    out.push_back(s[0]);
    // Compaction without branches into a small buffer, a block at a time.
    constexpr std::size_t kBlock = 1024;
    std::array<double, kBlock + kCompactSlack> buffer;
    for (std::size_t start = 1; start + 1 < n; start += kBlock) {
        const std::size_t stop = std::min(start + kBlock, n - 1);
        const std::size_t kept = build.lanes.compact_turning_points(s + start, stop - start, buffer.data());
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    out.push_back(s[n - 1]);
    return out;
}

std::vector<double> get_peaktrough(std::span<const double> signal) {
    return detail::get_peaktrough(detail::kernels(), signal);
}

// ---- Half cycles -------------------------------------------------------------------

// Grows the list as doubling from four would, to the same final capacity.
void detail::append_records(std::vector<HalfCycle>& out, const HalfCycle* records, std::size_t count) {
    out.reserve(doubling_capacity(out.size() + count));
    out.insert(out.end(), records, records + count);
}

std::vector<HalfCycle> detail::get_halfcycles(const Kernels& build, std::span<const double> peaktrough,
                                              bool half) {
    std::vector<HalfCycle> out;
    const std::size_t n = peaktrough.size();
    if (n == 0) return out;
    // n values closing N cycles leave k = n - 2N, so the closed cycles and a
    // residue recorded once make exactly n - 1 records: reserve them at once.
    out.reserve(doubling_capacity(n - 1));
    build.count.half_cycles(peaktrough, half, out);
    return out;
}

std::vector<HalfCycle> get_halfcycles(std::span<const double> peaktrough, bool half) {
    return detail::get_halfcycles(detail::kernels(), peaktrough, half);
}

// ---- Equivalent loads --------------------------------------------------------------

double detail::eq_load(const Kernels& build, std::span<const double> signal, double* copy, double m,
                       std::uint64_t neq, bool half) {
    if (signal.empty()) throw EmptySignal();
    return build.count.load(build.lanes, signal, copy, m, neq, half);
}

double detail::eq_load_max_half_cycle_closed(const Kernels& build, std::span<const double> signal, double* copy,
                                             double m, std::uint64_t neq, bool half) {
    const std::size_t k =
        copy == nullptr ? build.lanes.last_maximum(signal) : build.lanes.copy_last_maximum(signal, copy);
    if (k == signal.size()) throw NoNumberInSignal();
    // Every later pass reads the copy.
    if (copy != nullptr) signal = {copy, signal.size()};
    return build.count.closed_load(build.lanes, signal, k, m, neq, half);
}

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return detail::eq_load(detail::kernels(), signal, nullptr, m, neq, half);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    return detail::eq_load_max_half_cycle_closed(detail::kernels(), signal, nullptr, m, neq, half);
}

double eq_load_copying(std::span<const double> signal, double* copy, double m, std::uint64_t neq, bool half) {
    return detail::eq_load(detail::kernels(), signal, copy, m, neq, half);
}

double eq_load_max_half_cycle_closed_copying(std::span<const double> signal, double* copy, double m,
                                             std::uint64_t neq, bool half) {
    return detail::eq_load_max_half_cycle_closed(detail::kernels(), signal, copy, m, neq, half);
}

}  // namespace cyclewright
