// Randomised checks against the plain reference count: the same records bit
// for bit, the record count formula, and each load function equal to the
// composition it is defined as.
#include <random>

#include "load_builds.hpp"
#include "reference.hpp"
#include "support.hpp"

namespace {

using cwtest::kInf;
using cwtest::kNaN;

enum class Kind { RandomWalk, SmallIntegers, SpecialValues, DeepStack };

std::vector<double> make_signal(std::mt19937_64& rng, Kind kind, std::size_t n) {
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_int_distribution<int> small(-3, 3);
    std::uniform_int_distribution<int> pick(0, 15);
    std::vector<double> s(n);
    double walk = 0;
    std::size_t index = 0;
    for (auto& v : s) {
        ++index;
        switch (kind) {
            case Kind::RandomWalk:
                walk += noise(rng);
                v = walk + 0.5 * noise(rng);
                break;
            case Kind::SmallIntegers:  // many ties and flat runs
                v = small(rng);
                break;
            case Kind::SpecialValues: {
                const int p = pick(rng);
                v = p == 0 ? kNaN : p == 1 ? kInf : p == 2 ? -kInf : p == 3 ? -0.0 : p == 4 ? 0.0
                                                                                      : small(rng);
                break;
            }
            case Kind::DeepStack: {
                // Swings that widen, then narrow, then one far wider: the
                // stack grows a thousand values deep and the last swing
                // closes them from the top down, across the count's blocks.
                constexpr std::size_t kPeriod = 2000;
                const std::size_t phase = index % kPeriod;
                const double width = static_cast<double>(phase < kPeriod / 2 ? phase : kPeriod - phase);
                const double sign = index % 2 == 0 ? 1.0 : -1.0;
                v = phase == 0 ? sign * 1e6 * static_cast<double>(index) : sign * width + 0.25 * noise(rng);
                break;
            }
        }
    }
    return s;
}

double power_sum(const std::vector<cyclewright::HalfCycle>& records, double m) {
    double sum = -0.0;
    for (const auto& r : records) sum += cyclewright::power(r.range, m);
    return sum;
}

struct Case {
    Kind kind;
    const char* name;
};

// Every kind of signal, for both the short and the long tests.
const Case kCases[] = {{Kind::RandomWalk, "random_walk"},
                       {Kind::SmallIntegers, "small_integers"},
                       {Kind::SpecialValues, "special_values"},
                       {Kind::DeepStack, "deep_stack"}};

std::string case_name(const ::testing::TestParamInfo<Case>& row) { return row.param.name; }

class Randomised : public ::testing::TestWithParam<Case> {};

TEST_P(Randomised, MatchesReferenceAndComposition) {
    std::mt19937_64 rng(20261208);
    const double exponents[] = {3.3, 4.0, 0.0, -1.5, 12.0};
    std::uniform_int_distribution<std::size_t> length(1, 300);
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t n = trial < 4 ? static_cast<std::size_t>(trial + 1) : length(rng);
        const auto signal = make_signal(rng, GetParam().kind, n);
        const auto peaks = cyclewright::get_peaktrough(signal);
        ASSERT_TRUE(cwtest::same_values(cwref::peaktrough(signal), peaks)) << "signal " << cwtest::show(signal);

        for (const bool half : {true, false}) {
            const auto records = cyclewright::get_halfcycles(peaks, half);
            const auto ref = cwref::rainflow(peaks, half);
            ASSERT_TRUE(cwtest::same_cycles(ref.records, records)) << "peaks " << cwtest::show(peaks);

            const std::size_t closed = ref.closed, k = ref.residue;
            ASSERT_EQ(k, peaks.size() - 2 * closed);
            ASSERT_GE(k, 2u);
            ASSERT_EQ(records.size(), 2 * closed + (half ? 1 : 2) * (k - 1));
            for (const auto& r : records) ASSERT_FALSE(std::signbit(r.range));

            const double m = exponents[trial % 5];
            const std::uint64_t neq = static_cast<std::uint64_t>(trial % 3) * 5;
            const double plain = cwref::root(power_sum(records, m), m, neq);
            ASSERT_TRUE(cwtest::same_bits(plain, cyclewright::eq_load(signal, m, neq, half)))
                << "m " << m << " neq " << neq << " signal " << cwtest::show(signal);

            std::size_t top = n;
            for (std::size_t i = 0; i < n; ++i)
                if (!std::isnan(signal[i]) && (top == n || signal[i] >= signal[top])) top = i;
            if (top == n) continue;
            std::vector<double> rotated(signal.begin() + static_cast<std::ptrdiff_t>(top), signal.end());
            rotated.insert(rotated.end(), signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(top));
            rotated.push_back(signal[top]);
            const double rotated_load = cyclewright::eq_load(rotated, m, neq, half);
            ASSERT_TRUE(cwtest::same_bits(rotated_load, cyclewright::eq_load_max_half_cycle_closed(signal, m, neq, half)))
                << "signal " << cwtest::show(signal);
            // Every build of the load kernels this processor runs, not only the chosen one.
            for (const auto& build : cyclewright::detail::runnable_load_builds()) {
                ASSERT_TRUE(cwtest::same_bits(plain, build.load(signal, m, neq, half))) << build.name;
                ASSERT_TRUE(cwtest::same_bits(rotated_load, build.closed_load(signal, top, m, neq, half))) << build.name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Randomised,
                         ::testing::ValuesIn(kCases), case_name);

// Long signals cross every internal block, chunk and growth boundary.
class RandomisedLong : public ::testing::TestWithParam<Case> {};

TEST_P(RandomisedLong, MatchesReferenceAndComposition) {
    std::mt19937_64 rng(7);
    const auto signal = make_signal(rng, GetParam().kind, 1'000'003);
    const auto peaks = cyclewright::get_peaktrough(signal);
    ASSERT_TRUE(cwtest::same_values(cwref::peaktrough(signal), peaks));
    std::size_t top = signal.size();
    for (std::size_t i = 0; i < signal.size(); ++i)
        if (!std::isnan(signal[i]) && (top == signal.size() || signal[i] >= signal[top])) top = i;
    std::vector<double> rotated(signal.begin() + static_cast<std::ptrdiff_t>(top), signal.end());
    rotated.insert(rotated.end(), signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(top));
    rotated.push_back(signal[top]);
    const auto rotated_peaks = cwref::peaktrough(rotated);
    for (const bool half : {true, false}) {
        const auto records = cyclewright::get_halfcycles(peaks, half);
        ASSERT_TRUE(cwtest::same_cycles(cwref::rainflow(peaks, half).records, records));
        const double plain = cwref::root(power_sum(records, 3.3), 3.3, 10'000'000);
        EXPECT_TRUE(cwtest::same_bits(plain, cyclewright::eq_load(signal, 3.3, 10'000'000, half)));
        for (const auto& build : cyclewright::detail::runnable_load_builds()) {
            EXPECT_TRUE(cwtest::same_bits(plain, build.load(signal, 3.3, 10'000'000, half))) << build.name;
        }
        const auto closed = cwref::rainflow(rotated_peaks, half).records;
        EXPECT_TRUE(cwtest::same_bits(cwref::root(power_sum(closed, 4.0), 4.0, 1),
                                      cyclewright::eq_load_max_half_cycle_closed(signal, 4.0, 1, half)));
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, RandomisedLong,
                         ::testing::ValuesIn(kCases), case_name);

}  // namespace
