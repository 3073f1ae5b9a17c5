#include "cyclewright/cycles.hpp"

namespace cyclewright {

std::vector<double> get_peaktrough(std::span<const double> signal) {
    if (signal.empty()) fail(kEmptySignalMessage);
    std::vector<double> out;
    out.push_back(signal.front());
    for (std::size_t i = 1; i + 1 < signal.size(); ++i) {
        const double p = signal[i - 1], c = signal[i], q = signal[i + 1];
        // Strict ordered comparisons: false against NaN, so neither a NaN nor
        // a sample next to one is ever a turning point.
        if ((q < c && p < c) || (c < q && c < p)) out.push_back(c);
    }
    out.push_back(signal.back());
    return out;
}

}  // namespace cyclewright
