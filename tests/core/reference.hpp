// An independent, deliberately plain count used as the reference for the
// randomised tests: written from the definitions, not from the core's code,
// and with the C library's pow, not the core's.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "cyclewright/half_cycle.hpp"

namespace cwref {

inline std::vector<double> peaktrough(const std::vector<double>& s) {
    std::vector<double> out{s.front()};
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        const bool peak = s[i + 1] < s[i] && s[i - 1] < s[i];
        const bool trough = s[i] < s[i + 1] && s[i] < s[i - 1];
        if (peak || trough) out.push_back(s[i]);
    }
    out.push_back(s.back());
    return out;
}

struct Count {
    std::vector<cyclewright::HalfCycle> records;
    std::size_t closed = 0;
    std::size_t residue = 0;
};

inline Count rainflow(const std::vector<double>& values, bool half) {
    Count count;
    std::vector<double> open;
    for (double v : values) {
        open.push_back(v);
        for (;;) {
            const std::size_t n = open.size();
            if (n < 4) break;
            const double a = open[n - 4], b = open[n - 3], c = open[n - 2], d = open[n - 1];
            if (!(std::fabs(a - b) >= std::fabs(b - c) && std::fabs(c - d) >= std::fabs(b - c))) break;
            count.records.push_back({(b + c) * 0.5, std::fabs(b - c)});
            count.records.push_back({(b + c) * 0.5, std::fabs(b - c)});
            ++count.closed;
            open.erase(open.end() - 3, open.end() - 1);
        }
    }
    for (std::size_t j = 1; j < open.size(); ++j) {
        const cyclewright::HalfCycle r{(open[j - 1] + open[j]) * 0.5, std::fabs(open[j] - open[j - 1])};
        for (int copies = half ? 1 : 2; copies > 0; --copies) count.records.push_back(r);
    }
    count.residue = open.size();
    return count;
}

// The load of the records: the left-to-right sum of range^m, then the root.
inline double load(const std::vector<cyclewright::HalfCycle>& records, double m, std::uint64_t neq) {
    double sum = -0.0;
    for (const auto& r : records) sum += std::pow(r.range, m);
    return std::pow(sum / (2.0 * static_cast<double>(neq)), 1.0 / m);
}

// Whether the core's load agrees with load() above. The core's power, like
// the library's, is within one ulp of range^m, so the terms move the sum S by
// at most one ulp of S in all; the two sums' roundings may then differ, by
// an ulp of S each time, which takes more than a unit's change in one term
// and happens rarely: we allow 4 ulp of S. The root scales S's relative
// error by |1/m| and adds its own ulp on either side. Special results (zero,
// infinite, NaN, m = 0) come from the library's pow in both: the same bits.
inline bool close_load(double core, double reference, double m) {
    constexpr double kUlp = 0x1p-52;
    if (std::isnan(core) || std::isnan(reference)) return std::isnan(core) && std::isnan(reference);
    if (core == reference) return true;
    if (m == 0 || !std::isfinite(reference) || reference == 0) return false;
    const double tolerance = (4 / std::fabs(m) + 2) * kUlp * std::fabs(reference);
    return std::fabs(core - reference) <= tolerance;
}

}  // namespace cwref
