#include "kernels.hpp"
#include "support.hpp"

namespace {

using cwtest::kInf;
using cwtest::kNaN;
using cyclewright::HalfCycle;

struct Row {
    const char* what;
    std::vector<double> input;
    std::vector<HalfCycle> half_true;
    std::vector<HalfCycle> half_false;
};

const HalfCycle kNaNCycle{kNaN, kNaN};

const Row kRows[] = {
    {"empty input", {}, {}, {}},
    {"one value gives no record", {5}, {}, {}},
    {"zero range residue", {5, 5}, {{5, 0}}, {{5, 0}, {5, 0}}},
    {"one residual half cycle", {1, 2}, {{1.5, 1}}, {{1.5, 1}, {1.5, 1}}},
    {"a tie closes the cycle", {0, 1, 0, 1},
     {{0.5, 1}, {0.5, 1}, {0.5, 1}},
     {{0.5, 1}, {0.5, 1}, {0.5, 1}, {0.5, 1}}},
    {"one closed cycle then residue", {0, 2, 1, 3, 0},
     {{1.5, 1}, {1.5, 1}, {1.5, 3}, {1.5, 3}},
     {{1.5, 1}, {1.5, 1}, {1.5, 3}, {1.5, 3}, {1.5, 3}, {1.5, 3}}},
    {"cascade within one push, newest cycle first", {0, 4, 1, 3, 2, 5},
     {{2.5, 1}, {2.5, 1}, {2.5, 3}, {2.5, 3}, {2.5, 5}},
     {{2.5, 1}, {2.5, 1}, {2.5, 3}, {2.5, 3}, {2.5, 5}, {2.5, 5}}},
    {"no alternation required", {0, 1, 2, 3},
     {{1.5, 1}, {1.5, 1}, {1.5, 3}},
     {{1.5, 1}, {1.5, 1}, {1.5, 3}, {1.5, 3}}},
    {"NaN never closes a cycle", {0, kNaN, 1, 3, 0},
     {kNaNCycle, kNaNCycle, {2, 2}, {1.5, 3}},
     {kNaNCycle, kNaNCycle, kNaNCycle, kNaNCycle, {2, 2}, {2, 2}, {1.5, 3}, {1.5, 3}}},
    {"mean sums before halving", {1.5e308, 1.5e308}, {{kInf, 0}}, {{kInf, 0}, {kInf, 0}}},
    {"signed zeros give positive zeros", {-0.0, 0.0}, {{0.0, 0.0}}, {{0.0, 0.0}, {0.0, 0.0}}},
    {"equal infinities give NaN range", {kInf, kInf}, {{kInf, kNaN}}, {{kInf, kNaN}, {kInf, kNaN}}},
    {"range of a falling pair is positive", {3, -1}, {{1, 4}}, {{1, 4}, {1, 4}}},
    {"traced sequence", {-2, 1, -3, 5, -1, 3, -4, 4, -2},
     {{1, 4}, {1, 4}, {-0.5, 3}, {-1, 4}, {1, 8}, {0.5, 9}, {0, 8}, {1, 6}},
     {{1, 4}, {1, 4}, {-0.5, 3}, {-0.5, 3}, {-1, 4}, {-1, 4}, {1, 8}, {1, 8},
      {0.5, 9}, {0.5, 9}, {0, 8}, {0, 8}, {1, 6}, {1, 6}}},
};

class HalfCycles : public ::testing::TestWithParam<Row> {};

TEST_P(HalfCycles, HalfTrue) {
    const Row& row = GetParam();
    EXPECT_TRUE(cwtest::same_cycles(row.half_true, cyclewright::get_halfcycles(row.input, true))) << row.what;
}

TEST_P(HalfCycles, HalfFalse) {
    const Row& row = GetParam();
    EXPECT_TRUE(cwtest::same_cycles(row.half_false, cyclewright::get_halfcycles(row.input, false))) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Table, HalfCycles, ::testing::ValuesIn(kRows));

// Along the whole road, signal -> turning points -> count.
struct RoadRow {
    const char* what;
    std::vector<double> signal;
    std::vector<HalfCycle> half_true;
};

const RoadRow kRoad[] = {
    {"one sample gives one zero-range record", {5}, {{5, 0}}},
    {"rising signal gives one half cycle", {0, 1, 2, 3}, {{1.5, 3}}},
    {"flat tops close zero-range cycles", {0, 2, 0, 1, 1, 0, 2, 0},
     {{0, 0}, {0, 0}, {2, 0}, {2, 0}, {0, 0}}},
};

class HalfCyclesRoad : public ::testing::TestWithParam<RoadRow> {};

TEST_P(HalfCyclesRoad, FromSignal) {
    const RoadRow& row = GetParam();
    const auto cycles = cyclewright::get_halfcycles(cyclewright::get_peaktrough(row.signal), true);
    EXPECT_TRUE(cwtest::same_cycles(row.half_true, cycles)) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Table, HalfCyclesRoad, ::testing::ValuesIn(kRoad));

TEST(HalfCyclesGrowth, CapacityIsFourDoubled) {
    for (std::size_t n : {2u, 3u, 5u, 9u, 100u, 3001u}) {
        std::vector<double> rising(n);
        for (std::size_t i = 0; i < n; ++i) rising[i] = static_cast<double>(i);
        for (const auto& build : cyclewright::detail::runnable_builds()) {
            const auto out = cyclewright::detail::get_halfcycles(build, rising, false);
            std::size_t expected = 4;
            while (expected < out.size()) expected *= 2;
            EXPECT_EQ(out.capacity(), expected) << build.name << ": n = " << n;
        }
    }
}

}  // namespace
