#include "support.hpp"

namespace {

using cwtest::kInf;
using cwtest::kNaN;

struct Row {
    const char* what;
    std::vector<double> signal;
    std::vector<double> expected;
};

const Row kRows[] = {
    {"one sample stands twice", {5}, {5, 5}},
    {"two rising", {1, 2}, {1, 2}},
    {"two falling", {4, 1}, {4, 1}},
    {"flat signal keeps only the ends", {3, 3, 3}, {3, 3}},
    {"monotonic run keeps only the ends", {0, 1, 2}, {0, 2}},
    {"single peak", {0, 1, 0}, {0, 1, 0}},
    {"end continuing a run is kept", {2, 1, 0, 1}, {2, 0, 1}},
    {"alternating", {0, 2, 1, 3, 0}, {0, 2, 1, 3, 0}},
    {"alternating from a trough", {1, 0, 2, 1, 3}, {1, 0, 2, 1, 3}},
    {"flat top contributes nothing", {0, 1, 1, 0}, {0, 0}},
    {"flat top before a trough", {0, 2, 2, 1, 3}, {0, 1, 3}},
    {"two troughs in a row", {0, 2, 0, 1, 1, 0, 2, 0}, {0, 2, 0, 0, 2, 0}},
    {"two peaks in a row", {0, 1, 0.5, 0.5, 1, 0}, {0, 1, 1, 0}},
    {"equal infinities are flat", {0, -kInf, -kInf, 1}, {0, 1}},
    {"infinity is an ordinary peak", {0, kInf, 1}, {0, kInf, 1}},
    {"interior NaN and its neighbours drop", {0, kNaN, 1, 0, 2}, {0, 0, 2}},
    {"leading NaN is kept", {kNaN, 1, 0, 2}, {kNaN, 0, 2}},
    {"trailing NaN is kept", {0, 1, 2, kNaN}, {0, kNaN}},
    {"tiny reversals count", {0, 1e-300, 0, 1e-300}, {0, 1e-300, 0, 1e-300}},
    {"signed zeros are kept as they are", {-0.0, 1, 0.0}, {-0.0, 1, 0.0}},
};

class PeakTrough : public ::testing::TestWithParam<Row> {};

TEST_P(PeakTrough, Sequence) {
    const Row& row = GetParam();
    EXPECT_TRUE(cwtest::same_values(row.expected, cyclewright::get_peaktrough(row.signal))) << row.what;
}

INSTANTIATE_TEST_SUITE_P(Table, PeakTrough, ::testing::ValuesIn(kRows));

TEST(PeakTroughFailure, EmptySignalIsRefused) {
    EXPECT_THROW(cyclewright::get_peaktrough({}), cyclewright::EmptySignal);
}

TEST(PeakTroughFailure, FailureCarriesItsSourcePosition) {
    try {
        cyclewright::get_peaktrough({});
        FAIL() << "no failure";
    } catch (const cyclewright::EmptySignal& failure) {
        EXPECT_NE(std::string(failure.where().file_name()).find("cycles.cpp"), std::string::npos);
        EXPECT_GT(failure.where().line(), 0u);
    }
}

// The growth rule: first allocation of four values, doubled when full.
TEST(PeakTroughGrowth, CapacityIsFourDoubled) {
    for (std::size_t n : {1u, 3u, 4u, 5u, 8u, 9u, 1000u, 4097u}) {
        std::vector<double> zigzag(n);
        for (std::size_t i = 0; i < n; ++i) zigzag[i] = static_cast<double>(i % 2);
        const auto out = cyclewright::get_peaktrough(zigzag);
        std::size_t expected = 4;
        while (expected < out.size()) expected *= 2;
        EXPECT_EQ(out.capacity(), expected) << "n = " << n;
    }
}

}  // namespace
