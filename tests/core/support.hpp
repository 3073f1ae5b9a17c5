// Helpers for the core tests: bit-exact comparison of doubles (NaN and the
// sign of zero included) and short notations for signals and records.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cyclewright/cycles.hpp"

namespace cwtest {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline bool same_bits(double a, double b) {
    // Any NaN matches any NaN: the payload is not part of the contract.
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline std::string show(double v) {
    std::ostringstream out;
    out.precision(17);
    if (v == 0 && std::signbit(v)) out << "-0";
    else out << v;
    return out.str();
}

inline std::string show(const std::vector<double>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + show(values[i]);
    return out + "]";
}

inline std::string show(const std::vector<cyclewright::HalfCycle>& cycles) {
    std::string out = "[";
    for (std::size_t i = 0; i < cycles.size(); ++i)
        out += (i ? ", (" : "(") + show(cycles[i].mean) + ", " + show(cycles[i].range) + ")";
    return out + "]";
}

inline ::testing::AssertionResult same_values(const std::vector<double>& expected,
                                              const std::vector<double>& actual) {
    bool same = expected.size() == actual.size();
    for (std::size_t i = 0; same && i < expected.size(); ++i) same = same_bits(expected[i], actual[i]);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << show(expected) << ", got " << show(actual);
}

inline ::testing::AssertionResult same_cycles(const std::vector<cyclewright::HalfCycle>& expected,
                                              const std::vector<cyclewright::HalfCycle>& actual) {
    bool same = expected.size() == actual.size();
    for (std::size_t i = 0; same && i < expected.size(); ++i)
        same = same_bits(expected[i].mean, actual[i].mean) && same_bits(expected[i].range, actual[i].range);
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << show(expected) << ", got " << show(actual);
}

}  // namespace cwtest
