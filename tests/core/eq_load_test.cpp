#include <cmath>
#include <cstdint>

#include "power.hpp"
#include "support.hpp"

namespace {

using cwtest::kInf;
using cwtest::kNaN;
using cyclewright::eq_load;
using cyclewright::eq_load_max_half_cycle_closed;

const std::vector<double> kWorked = {1, 3, 2, 5, -1, 0, 4, -2, 2, 0};

struct WorkedRow {
    bool half;
    double m;
    std::uint64_t neq;
    double expected;  // ten significant digits
};

// Plain signal: S = 731, 4181, 1210, 7110.
const WorkedRow kPlain[] = {
    {true, 3, 1, 7.149831284},  {true, 3, 10, 3.318657705},  {true, 4, 1, 6.761803455},
    {true, 4, 10, 3.802441515}, {false, 3, 1, 8.457690558},  {false, 3, 10, 3.925712205},
    {false, 4, 1, 7.721646246}, {false, 4, 10, 4.342200782},
};

// Closed at the maximum: S = 954, 6086, 1640, 10888.
const WorkedRow kClosed[] = {
    {true, 3, 1, 7.813389232},  {true, 3, 10, 3.626654021},  {true, 4, 1, 7.427206316},
    {true, 4, 10, 4.176625042}, {false, 3, 1, 9.359901623},  {false, 3, 10, 4.344481486},
    {false, 4, 1, 8.589730321}, {false, 4, 10, 4.830360332},
};

class WorkedPlain : public ::testing::TestWithParam<WorkedRow> {};
class WorkedClosed : public ::testing::TestWithParam<WorkedRow> {};

TEST_P(WorkedPlain, TenDigits) {
    const WorkedRow& r = GetParam();
    EXPECT_NEAR(eq_load(kWorked, r.m, r.neq, r.half), r.expected, 5e-10 * r.expected)
        << "half " << r.half << " m " << r.m << " neq " << r.neq;
}

TEST_P(WorkedClosed, TenDigits) {
    const WorkedRow& r = GetParam();
    EXPECT_NEAR(eq_load_max_half_cycle_closed(kWorked, r.m, r.neq, r.half), r.expected, 5e-10 * r.expected)
        << "half " << r.half << " m " << r.m << " neq " << r.neq;
}

INSTANTIATE_TEST_SUITE_P(Table, WorkedPlain, ::testing::ValuesIn(kPlain));
INSTANTIATE_TEST_SUITE_P(Table, WorkedClosed, ::testing::ValuesIn(kClosed));

// Special values, exact: each result is determined by IEEE arithmetic and
// pow's special cases, so it is compared bit for bit.
struct SpecialRow {
    const char* what;
    std::vector<double> signal;
    double m;
    std::uint64_t neq;
    bool half;
    double plain;
    double closed;
};

constexpr std::uint64_t kMaxU64 = ~std::uint64_t{0};

const SpecialRow kSpecial[] = {
    {"one sample gives zero", {7}, 3.3, 10, true, 0.0, 0.0},
    {"constant signal gives zero", {2, 2, 2, 2}, 4, 1, false, 0.0, 0.0},
    {"neq 0 with cycles is infinite", kWorked, 3, 0, true, kInf, kInf},
    {"neq 0 on a constant signal is NaN", {2, 2}, 3, 0, true, kNaN, kNaN},
    {"m 0: more records than 2 neq", kWorked, 0.0, 1, true, kInf, kInf},
    {"m 0: records equal 2 neq", kWorked, 0.0, 4, true, 1.0, 1.0},
    {"m 0: fewer records than 2 neq", kWorked, 0.0, 10, true, 0.0, 0.0},
    {"negative m with a zero range gives zero", {5}, -2, 1, true, 0.0, 0.0},
    {"leading NaN makes the plain load NaN", {kNaN, 1, 0, 2}, 4, 1, true, kNaN, 2.0},
    {"NaN next to the maximum leaves one zero range", {1, kNaN, 3}, 4, 1, true, cyclewright::power(8.0, 0.25), 0.0},
    {"maximum at index 0", {5, 1, 3}, 4, 1, true, cyclewright::power(136.0, 0.25), 4.0},
    {"last of equal maxima is taken", {0, 2, 2, 1, 2}, 4, 1, true, 1.0, 1.0},
    {"infinite sample gives infinite load", {0, kInf, 1}, 2, 1, true, kInf, kInf},
};

class Special : public ::testing::TestWithParam<SpecialRow> {};

TEST_P(Special, Plain) {
    const SpecialRow& r = GetParam();
    const double got = eq_load(r.signal, r.m, r.neq, r.half);
    EXPECT_TRUE(cwtest::same_bits(r.plain, got)) << r.what << ": got " << cwtest::show(got);
}

TEST_P(Special, Closed) {
    const SpecialRow& r = GetParam();
    const double got = eq_load_max_half_cycle_closed(r.signal, r.m, r.neq, r.half);
    EXPECT_TRUE(cwtest::same_bits(r.closed, got)) << r.what << ": got " << cwtest::show(got);
}

INSTANTIATE_TEST_SUITE_P(Table, Special, ::testing::ValuesIn(kSpecial));

// neq is rounded to the nearest double before it is doubled.
TEST(EqLoadNeq, RoundedToNearestDouble) {
    const std::vector<double> pair = {0, 1};  // one half cycle of range 1: S = 1
    const double two53 = 9007199254740992.0;
    EXPECT_TRUE(cwtest::same_bits(eq_load(pair, 1, (std::uint64_t{1} << 53) + 1, true), 1.0 / (2 * two53)));
    EXPECT_TRUE(cwtest::same_bits(eq_load(pair, 1, kMaxU64, true), 1.0 / 36893488147419103232.0));
}

TEST(EqLoadFailure, RefusedSignals) {
    EXPECT_THROW(eq_load({}, 3, 1, true), cyclewright::EmptySignal);
    // Empty or all NaN: no maximum to close at.
    EXPECT_THROW(eq_load_max_half_cycle_closed({}, 3, 1, true), cyclewright::NoNumberInSignal);
    EXPECT_THROW(eq_load_max_half_cycle_closed(std::vector{kNaN, kNaN}, 3, 1, true),
                 cyclewright::NoNumberInSignal);
}

}  // namespace
