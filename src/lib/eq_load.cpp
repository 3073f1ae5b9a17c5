#include <algorithm>
#include <cmath>

#include "cyclewright/cycles.hpp"

namespace cyclewright {

double eq_load(std::span<const double> signal, double m, std::uint64_t neq, bool half) {
    const std::vector<HalfCycle> cycles = [&] {
        const std::vector<double> peaktrough = get_peaktrough(signal);
        return get_halfcycles(peaktrough, half);
    }();
    double sum = -0.0;
    for (const HalfCycle& cycle : cycles) sum += std::pow(cycle.range, m);
    const double twice_neq = 2.0 * static_cast<double>(neq);
    return std::pow(sum / twice_neq, 1.0 / m);
}

double eq_load_max_half_cycle_closed(std::span<const double> signal, double m,
                                     std::uint64_t neq, bool half) {
    std::size_t k = signal.size();
    for (std::size_t i = 0; i < signal.size(); ++i) {
        if (std::isnan(signal[i])) continue;
        if (k == signal.size() || signal[i] >= signal[k]) k = i;
    }
    if (k == signal.size()) fail(kNoMaximumMessage);
    std::vector<double> closed;
    closed.reserve(signal.size() + 1);
    closed.insert(closed.end(), signal.begin() + static_cast<std::ptrdiff_t>(k), signal.end());
    closed.insert(closed.end(), signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(k));
    closed.push_back(signal[k]);
    return eq_load(closed, m, neq, half);
}

}  // namespace cyclewright
