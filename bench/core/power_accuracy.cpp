// Measures the power function's worst error in units of the last place
// against long double powl (64-bit significand, so its own error is below
// 2^-11 of a double's ulp), for every build this processor runs:
//   power_accuracy [SAMPLES]   (default 4'000'000 per set)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "kernels.hpp"

namespace {

double ulps(double got, double x, double y) {
    const long double exact = powl(static_cast<long double>(x), static_cast<long double>(y));
    const double rounded = static_cast<double>(exact);
    const double ulp = std::nextafter(std::fabs(rounded), INFINITY) - std::fabs(rounded);
    return static_cast<double>(fabsl(static_cast<long double>(got) - exact) / ulp);
}

}  // namespace

int main(int argc, char** argv) {
    const long samples = argc > 1 ? std::atol(argv[1]) : 4'000'000;
    const double exponents[] = {3.3, 4, 5, 8, 10, 12, 0.25, -1.5, 1.0 / 3.3};
    for (const auto& build : cyclewright::detail::runnable_builds()) {
        std::mt19937_64 rng(2026);
        std::uniform_real_distribution<double> log_x(-40, 40), any_y(-20, 20), offset(-1e-6, 1e-6), big(1e3, 1e7);
        double wide = 0, near_one = 0;
        for (long i = 0; i < samples; ++i) {
            const double x = std::exp(log_x(rng)), y = i % 2 == 0 ? any_y(rng) : exponents[i % 9];
            wide = std::max(wide, ulps(build.lanes.power(x, y), x, y));
            const double x1 = 1.0 + offset(rng), y1 = big(rng) * (i % 2 ? 1 : -1);
            near_one = std::max(near_one, ulps(build.lanes.power(x1, y1), x1, y1));
        }
        std::printf("%-8s %ld x = e^[-40, 40]: max %.4f ulp; %ld x = 1 +- 1e-6, |y| <= 1e7: max %.4f ulp\n",
                    build.name, samples, wide, samples, near_one);
    }
}
