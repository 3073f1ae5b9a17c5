#include <algorithm>
#include <array>

#include "cyclewright/cycles.hpp"
#include "growth.hpp"
#include "kernels.hpp"

namespace cyclewright {

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

}  // namespace cyclewright
