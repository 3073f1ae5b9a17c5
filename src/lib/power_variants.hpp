// Each build of the power kernel by name, for the dispatch in power.cpp and
// for tests that hold the builds to the same bits, and the power sum's inner
// loop. The *_fma and *_avx2 ones (power_avx2.cpp) need a processor with
// AVX2 and FMA.
#pragma once

#include <cstddef>

namespace cyclewright::detail {

double power_baseline(double x, double y) noexcept;
double power_fma(double x, double y) noexcept;
void power_of_each_avx2(const double* x, std::size_t count, double y, double* out) noexcept;

// sum + power(x[0], y) + power(x[1], y) + ..., each term added once, or
// twice in a row when `twice`, left to right with one rounding per addition.
// The AVX2 build computes the next powers while the chain of additions runs.
double add_powers(const double* x, std::size_t count, double y, bool twice, double sum) noexcept;
double add_powers_avx2(const double* x, std::size_t count, double y, bool twice, double sum) noexcept;

namespace {  // each including file builds its own copy, for its own flags

// One term of that sum: one rounded addition, or two.
inline double add_term(double sum, double term, bool twice) noexcept {
    sum += term;
    return twice ? sum + term : sum;
}

}  // namespace

}  // namespace cyclewright::detail
