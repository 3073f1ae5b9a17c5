// Randomised checks of every build of the kernels this processor runs (the
// portable baseline included) against the plain reference count: the same
// records bit for bit, the record count formula, the loads within the
// reference's tolerance, and each load the same bits as the plain
// composition of the public functions, which is what every build must give.
#include <random>

#include "power.hpp"
#include "kernels.hpp"
#include "reference.hpp"
#include "support.hpp"

namespace {

using cwtest::kInf;
using cwtest::kNaN;
using cyclewright::detail::Kernels;
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

// The ranges that CountKernels::ranges hands out, one per record as
// get_halfcycles lists them (a closed cycle twice, a residue pair once or,
// without `half`, twice).
std::vector<double> ranges_by_kernel(const Kernels& build, std::span<const double> signal, bool merge, bool half) {
    struct Out {
        std::vector<double> ranges;
        bool half;
    } out{{}, half};
    const std::span<const double> pieces[] = {signal.first(signal.size() / 2), signal.subspan(signal.size() / 2)};
    build.count.ranges(
        build.lanes, std::span(pieces), merge,
        [](void* context, const double* ranges, std::size_t count, bool closed) {
            auto& o = *static_cast<Out*>(context);
            for (std::size_t i = 0; i < count; ++i) {
                o.ranges.push_back(ranges[i]);
                if (closed || !o.half) o.ranges.push_back(ranges[i]);
            }
        },
        &out);
    return out.ranges;
}

// get_peaktrough, get_halfcycles, the left-to-right sum of power, the root.
double composed_load(const std::vector<cyclewright::HalfCycle>& records, double m, std::uint64_t neq) {
    double sum = -0.0;
    for (const auto& r : records) sum += cyclewright::power(r.range, m);
    return cyclewright::power(sum / (2.0 * static_cast<double>(neq)), 1.0 / m);
}

// The signal rotated to start at its last maximum and closed by it; empty
// when no sample is a number.
std::vector<double> closed_at_maximum(const std::vector<double>& signal, std::size_t& top) {
    const std::size_t n = signal.size();
    top = n;
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isnan(signal[i]) && (top == n || signal[i] >= signal[top])) top = i;
    if (top == n) return {};
    std::vector<double> rotated(signal.begin() + static_cast<std::ptrdiff_t>(top), signal.end());
    rotated.insert(rotated.end(), signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(top));
    rotated.push_back(signal[top]);
    return rotated;
}

// What a copy holds before the load writes it.
constexpr double kPoison = -0x1.dead5p+77;

struct Load {
    double m;
    std::uint64_t neq;
};

// Every check of one signal, with every build; `open` for eq_load, `closed`
// for eq_load_max_half_cycle_closed.
void check_signal(const std::vector<double>& signal, Load open, Load closed) {
    namespace core = cyclewright::detail;
    const auto ref_peaks = cwref::peaktrough(signal);
    std::size_t top = 0;
    const auto rotated = closed_at_maximum(signal, top);
    const auto rotated_peaks = rotated.empty() ? rotated : cwref::peaktrough(rotated);
    for (const bool half : {true, false}) {
        const auto ref = cwref::rainflow(ref_peaks, half);
        const std::size_t k = ref.residue;
        ASSERT_EQ(k, ref_peaks.size() - 2 * ref.closed);
        ASSERT_GE(k, 2u);
        ASSERT_EQ(ref.records.size(), 2 * ref.closed + (half ? 1 : 2) * (k - 1));
        const double plain = composed_load(ref.records, open.m, open.neq);
        ASSERT_TRUE(cwref::close_load(plain, cwref::load(ref.records, open.m, open.neq), open.m))
            << "m " << open.m << " neq " << open.neq << ": " << cwtest::show(plain) << " against the library's "
            << cwtest::show(cwref::load(ref.records, open.m, open.neq));
        const auto ref_closed = rotated.empty() ? ref : cwref::rainflow(rotated_peaks, half);
        const double plain_closed = composed_load(ref_closed.records, closed.m, closed.neq);
        if (!rotated.empty()) {
            ASSERT_TRUE(cwref::close_load(plain_closed, cwref::load(ref_closed.records, closed.m, closed.neq),
                                          closed.m));
        }
        for (const Kernels& build : core::runnable_builds()) {
            SCOPED_TRACE(build.name);
            const auto peaks = core::get_peaktrough(build, signal);
            ASSERT_TRUE(cwtest::same_values(ref_peaks, peaks)) << "signal " << cwtest::show(signal);
            const auto records = core::get_halfcycles(build, peaks, half);
            ASSERT_TRUE(cwtest::same_cycles(ref.records, records)) << "peaks " << cwtest::show(peaks);
            for (const auto& r : records) ASSERT_FALSE(std::signbit(r.range));
            std::vector<double> ranges, merged;
            for (const auto& r : records) ranges.push_back(r.range);
            ASSERT_TRUE(cwtest::same_values(ranges, ranges_by_kernel(build, signal, false, half)));
            for (std::size_t i = 0; i < signal.size(); ++i)
                if (i == 0 || signal[i] != signal[i - 1]) merged.push_back(signal[i]);
            ASSERT_TRUE(cwtest::same_values(ranges_by_kernel(build, merged, false, half),
                                            ranges_by_kernel(build, signal, true, half)));
            // Every load once plain and once copying the signal on the way.
            std::vector<double> copy(signal.size(), kPoison);
            ASSERT_TRUE(cwtest::same_bits(plain, core::eq_load(build, signal, nullptr, open.m, open.neq, half)))
                << "m " << open.m << " neq " << open.neq << " signal " << cwtest::show(signal);
            ASSERT_TRUE(cwtest::same_bits(plain, core::eq_load(build, signal, copy.data(), open.m, open.neq, half)));
            ASSERT_TRUE(cwtest::same_values(signal, copy));
            if (rotated.empty()) continue;
            std::fill(copy.begin(), copy.end(), kPoison);
            ASSERT_TRUE(cwtest::same_bits(plain_closed, core::eq_load_max_half_cycle_closed(
                                                            build, signal, copy.data(), closed.m, closed.neq, half)));
            ASSERT_TRUE(cwtest::same_values(signal, copy));
            ASSERT_TRUE(cwtest::same_cycles(ref_closed.records, core::get_halfcycles(build, rotated_peaks, half)));
            ASSERT_TRUE(cwtest::same_bits(
                plain_closed, core::eq_load_max_half_cycle_closed(build, signal, nullptr, closed.m, closed.neq, half)))
                << "signal " << cwtest::show(signal);
            ASSERT_TRUE(
                cwtest::same_bits(plain_closed, core::eq_load(build, rotated, nullptr, closed.m, closed.neq, half)));
        }
    }
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

TEST_P(Randomised, EveryBuildMatchesReferenceAndComposition) {
    std::mt19937_64 rng(20261208);
    const double exponents[] = {3.3, 4.0, 0.0, -1.5, 12.0};
    std::uniform_int_distribution<std::size_t> length(1, 300);
    for (int trial = 0; trial < 400; ++trial) {
        const std::size_t n = trial < 4 ? static_cast<std::size_t>(trial + 1) : length(rng);
        const auto signal = make_signal(rng, GetParam().kind, n);
        const Load load{exponents[trial % 5], static_cast<std::uint64_t>(trial % 3) * 5};
        check_signal(signal, load, load);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Randomised, ::testing::ValuesIn(kCases), case_name);

// Long signals cross every internal block, chunk and growth boundary.
class RandomisedLong : public ::testing::TestWithParam<Case> {};

TEST_P(RandomisedLong, EveryBuildMatchesReferenceAndComposition) {
    std::mt19937_64 rng(7);
    check_signal(make_signal(rng, GetParam().kind, 1'000'003), {3.3, 10'000'000}, {4.0, 1});
}

INSTANTIATE_TEST_SUITE_P(Signals, RandomisedLong, ::testing::ValuesIn(kCases), case_name);

}  // namespace
