// The core's power function: the library's special values, accuracy within
// one unit in the last place, and the batch equal to the scalar bit for bit.
#include <cfloat>
#include <random>

#include "power.hpp"
#include "kernels.hpp"
#include "support.hpp"

namespace {

using cwtest::kInf;
using cwtest::kNaN;

struct SpecialRow {
    double x, y;
};

// Every special case of pow, and the edges of the fast range.
const SpecialRow kSpecial[] = {
    {0.0, 3.3},    {-0.0, 3.0},   {-0.0, 2.0},  {0.0, -2.0},    {-0.0, -3.0},   {0.0, 0.0},
    {kNaN, 0.0},   {kNaN, 3.3},   {1.0, kNaN},  {1.0, kInf},    {1.0, -kInf},   {2.0, kInf},
    {0.5, kInf},   {2.0, -kInf},  {kInf, 2.0},  {kInf, -2.0},   {-kInf, 3.0},   {-2.0, 3.0},
    {-2.0, 0.5},   {1e-310, 2.0}, {1e-310, 0.5}, {DBL_MIN, 1.0}, {DBL_MAX, 1.0}, {1e300, 3.0},
    {1e-300, 3.0}, {0.5, 2000.0}, {2.0, 1e-300}, {2.0, 1021.9}, {2.0, -1021.9}, {2.0, 1024.0},
    {7.0, 0.0},    {7.0, -0.0},   {1.0, 1e308},  {3.0, 1.0},    {10.0, -1.0},   {4.0, 0.5},
};

class PowerSpecial : public ::testing::TestWithParam<SpecialRow> {};

TEST_P(PowerSpecial, MatchesTheLibrary) {
    const auto [x, y] = GetParam();
    const double got = cyclewright::power(x, y), expected = std::pow(x, y);
    EXPECT_TRUE(cwtest::same_bits(expected, got))
        << "power(" << cwtest::show(x) << ", " << cwtest::show(y) << ") = " << cwtest::show(got)
        << ", the library gives " << cwtest::show(expected);
}

INSTANTIATE_TEST_SUITE_P(Table, PowerSpecial, ::testing::ValuesIn(kSpecial));

// Error in units of the last place against the long double result.
double ulps(double got, double x, double y) {
    const long double exact = powl(static_cast<long double>(x), static_cast<long double>(y));
    const double rounded = static_cast<double>(exact);
    if (got == rounded) return 0;
    const double ulp = std::nextafter(std::fabs(rounded), kInf) - std::fabs(rounded);
    return static_cast<double>(fabsl(static_cast<long double>(got) - exact) / ulp);
}

TEST(PowerAccuracy, WithinOneUlpOverManyMagnitudes) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> log_x(-40, 40), any_y(-20, 20);
    const double exponents[] = {3.3, 4, 5, 8, 10, 12, 0.25, -1.5, 1.0 / 3.3};
    double worst = 0;
    for (int i = 0; i < 400'000; ++i) {
        const double x = std::exp(log_x(rng));
        const double y = i % 4 == 0 ? any_y(rng) : exponents[i % 9];
        worst = std::max(worst, ulps(cyclewright::power(x, y), x, y));
    }
    EXPECT_LT(worst, 0.6) << "worst error " << worst << " ulp";
}

TEST(PowerAccuracy, NearOneWithLargeExponents) {
    // log x is tiny here; only its relative accuracy keeps y log x right.
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> offset(-1e-6, 1e-6), big(1e3, 1e7);
    double worst = 0;
    for (int i = 0; i < 100'000; ++i) {
        const double x = 1.0 + offset(rng), y = big(rng) * (i % 2 ? 1 : -1);
        worst = std::max(worst, ulps(cyclewright::power(x, y), x, y));
    }
    EXPECT_LT(worst, 0.6) << "worst error " << worst << " ulp";
}

// Every build of the kernel that this processor can run, against the
// baseline scalar one: same bits for every length, lane and special value,
// one at a time, in a batch, and in a power sum.
TEST(PowerBatch, EveryBuildEqualsTheBaselineForEveryLengthAndLane) {
    const auto builds = cyclewright::detail::runnable_builds();
    const auto& baseline = builds.front().lanes;
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> log_x(-30, 30);
    const double specials[] = {0.0, kInf, kNaN, -1.0, 1e-310, 1.0};
    for (std::size_t n = 0; n < 80; ++n) {
        std::vector<double> x(n), out(n);
        for (std::size_t i = 0; i < n; ++i)
            x[i] = (i * 7 + n) % 5 == 0 ? specials[(i + n) % 6] : std::exp(log_x(rng));
        for (const double y : {3.3, -2.0, 0.0, 700.0}) {
            for (const auto& build : builds) {
                SCOPED_TRACE(build.name);
                build.lanes.power_of_each(x.data(), n, y, out.data());
                std::vector<double> in_place = x;  // the output may be the input
                build.lanes.power_of_each(in_place.data(), n, y, in_place.data());
                double sum = -0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    const double expected = baseline.power(x[i], y);
                    sum = sum + expected + expected;
                    ASSERT_TRUE(cwtest::same_bits(expected, build.lanes.power(x[i], y)))
                        << "one: n " << n << " lane " << i << " x " << cwtest::show(x[i]) << " y " << y;
                    ASSERT_TRUE(cwtest::same_bits(expected, out[i]))
                        << "batch: n " << n << " lane " << i << " x " << cwtest::show(x[i]) << " y " << y;
                    ASSERT_TRUE(cwtest::same_bits(expected, in_place[i]))
                        << "in place: n " << n << " lane " << i << " x " << cwtest::show(x[i]) << " y " << y;
                }
                ASSERT_TRUE(cwtest::same_bits(sum, build.lanes.add_powers(x.data(), n, y, true, -0.0)))
                    << "sum: n " << n << " y " << y;
            }
        }
    }
}

}  // namespace
