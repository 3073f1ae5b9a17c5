#include <array>

#include "cyclewright/cycles.hpp"
#include "growth.hpp"
#include "huge_pages.hpp"
#include "turning_point.hpp"

namespace cyclewright {

std::vector<double> get_peaktrough(std::span<const double> signal) {
    using detail::is_turning_point;
    if (signal.empty()) fail(kEmptySignalMessage);
    const std::size_t n = signal.size();
    const double* s = signal.data();

    // A counting pass first, so that the output is allocated once with the
    // capacity that doubling from four would reach.
    std::size_t turning = 0;
    for (std::size_t i = 1; i + 1 < n; ++i) turning += is_turning_point(s[i - 1], s[i], s[i + 1]);

    std::vector<double> out;
    out.reserve(detail::doubling_capacity(turning + 2));
    detail::prefer_huge_pages(out);
    out.push_back(s[0]);
    // Compaction without branches: every candidate is written to a small
    // buffer and the cursor advances only past turning points.
    constexpr std::size_t kBlock = 1024;
    std::array<double, kBlock + 1> buffer;
    for (std::size_t start = 1; start + 1 < n; start += kBlock) {
        const std::size_t stop = std::min(start + kBlock, n - 1);
        std::size_t kept = 0;
        for (std::size_t i = start; i < stop; ++i) {
            buffer[kept] = s[i];
            kept += is_turning_point(s[i - 1], s[i], s[i + 1]);
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    out.push_back(s[n - 1]);
    return out;
}

}  // namespace cyclewright
