// Every build of the records count's step closes the cycles of a plain
// four-point count, in its order, and leaves its stack: ties, short stacks
// and more closes than one block holds included.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/push_points.hpp"
#include "support.hpp"

namespace {

using cyclewright::records::Point;

struct Count {
    std::vector<Point> closed;  // b, c of each cycle in turn
    std::vector<Point> stack;
};

bool same(const std::vector<Point>& p, const std::vector<Point>& q) {
    if (p.size() != q.size()) return false;
    for (std::size_t i = 0; i < p.size(); ++i)
        if (!cwtest::same_bits(p[i].value, q[i].value) || p[i].index != q[i].index) return false;
    return true;
}

Count plain_count(const std::vector<Point>& in) {
    Count out;
    for (const Point& p : in) {
        out.stack.push_back(p);
        for (std::vector<Point>& s = out.stack; s.size() >= 4;) {
            const double a = s[s.size() - 4].value, b = s[s.size() - 3].value, c = s[s.size() - 2].value;
            const double y = std::fabs(b - c);
            if (!(std::fabs(a - b) >= y && std::fabs(c - s.back().value) >= y)) break;
            out.closed.insert(out.closed.end(), {s[s.size() - 3], s[s.size() - 2]});
            s.erase(s.end() - 3, s.end() - 1);
        }
    }
    return out;
}

// Fed in the given pieces, as a counter feeds blocks.
Count built_count(cyclewright::records::PushPoints push, const std::vector<Point>& in, std::size_t piece) {
    constexpr std::size_t kSentinels = cyclewright::records::kPushSentinels;
    std::vector<Point> stack(kSentinels, Point{std::numeric_limits<double>::quiet_NaN(), -1});
    Count out;
    const cyclewright::records::ClosedSink sink = [](void* context, const Point* b, const Point* c,
                                                     std::size_t count) {
        auto& closed = *static_cast<std::vector<Point>*>(context);
        for (std::size_t j = 0; j < count; ++j) closed.insert(closed.end(), {b[j], c[j]});
    };
    for (std::size_t start = 0; start < in.size(); start += piece) {
        const std::size_t n = std::min(piece, in.size() - start), top = stack.size();
        stack.resize(top + n);
        stack.resize(push(stack.data(), top, in.data() + start, n, sink, &out.closed));
    }
    out.stack.assign(stack.begin() + kSentinels, stack.end());
    return out;
}

TEST(PushPoints, EveryBuildClosesAsThePlainCount) {
    std::mt19937_64 rng(20261208);
    std::normal_distribution<double> normal;
    std::uniform_int_distribution<int> level(-3, 3);
    for (const bool ties : {false, true})
        for (const std::size_t size : {1U, 2U, 5U, 40U, 5000U}) {
            std::vector<Point> in;
            double walk = 0;
            for (std::size_t i = 0; i < size; ++i) {
                walk += normal(rng);
                in.push_back({ties ? level(rng) * 1.0 : walk + normal(rng), static_cast<std::int64_t>(i)});
            }
            const Count expected = plain_count(in);
            for (const auto& build : cyclewright::records::runnable_push_builds())
                for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, size}) {
                    const Count got = built_count(build.push, in, piece);
                    SCOPED_TRACE(std::string(build.name) + " size " + std::to_string(size) + " piece " +
                                 std::to_string(piece));
                    EXPECT_TRUE(same(got.closed, expected.closed));
                    EXPECT_TRUE(same(got.stack, expected.stack));
                }
        }
}

}  // namespace
