// Each build of the power kernel by name, for the dispatch in power.cpp and
// for tests that hold the builds to the same bits. The *_fma and *_avx2 ones
// (power_avx2.cpp) need a processor with AVX2 and FMA.
#pragma once

#include <cstddef>

namespace cyclewright::detail {

double power_baseline(double x, double y) noexcept;
double power_fma(double x, double y) noexcept;
void power_of_each_avx2(const double* x, std::size_t count, double y, double* out) noexcept;

}  // namespace cyclewright::detail
