// Counts of cycles per range bin and mean bin, as NumPy's histogram2d bins
// them: [a, b) with the last bin closed, values outside every bin left out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace cyclewright::records {

class RangeMeanMatrix {
public:
    bool active() const noexcept { return !range_edges.empty(); }

    void add(double range, double mean, double count) {
        const std::size_t r = bin(range_edges, range), m = bin(mean_edges, mean);
        if (r != kOutside && m != kOutside) counts[r * (mean_edges.size() - 1) + m] += count;
    }

    std::vector<double> range_edges, mean_edges;
    std::vector<double> counts;  // (range bins) x (mean bins), row by row

private:
    static constexpr std::size_t kOutside = static_cast<std::size_t>(-1);

    static std::size_t bin(const std::vector<double>& edges, double v) {
        if (!(v >= edges.front() && v <= edges.back())) return kOutside;
        if (v == edges.back()) return edges.size() - 2;
        return static_cast<std::size_t>(std::upper_bound(edges.begin(), edges.end(), v) - edges.begin()) - 1;
    }
};

}  // namespace cyclewright::records
