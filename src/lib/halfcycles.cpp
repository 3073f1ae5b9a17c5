#include <cmath>

#include "cyclewright/cycles.hpp"

namespace cyclewright {

std::vector<HalfCycle> get_halfcycles(std::span<const double> peaktrough, bool half) {
    std::vector<HalfCycle> out;
    if (peaktrough.empty()) return out;
    std::vector<double> stack;
    stack.reserve(peaktrough.size());
    for (const double v : peaktrough) {
        stack.push_back(v);
        while (stack.size() >= 4) {
            const std::size_t n = stack.size();
            const double a = stack[n - 4], b = stack[n - 3], c = stack[n - 2], d = stack[n - 1];
            const double x = std::fabs(a - b), y = std::fabs(b - c), z = std::fabs(c - d);
            if (!(x >= y && z >= y)) break;
            const HalfCycle closed{(b + c) * 0.5, y};
            out.push_back(closed);
            out.push_back(closed);
            stack[n - 3] = d;
            stack.resize(n - 2);
        }
    }
    for (std::size_t j = 1; j < stack.size(); ++j) {
        const HalfCycle residual{(stack[j - 1] + stack[j]) * 0.5, std::fabs(stack[j] - stack[j - 1])};
        out.push_back(residual);
        if (!half) out.push_back(residual);
    }
    return out;
}

}  // namespace cyclewright
