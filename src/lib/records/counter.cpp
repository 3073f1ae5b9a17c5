// The four-point rainflow count with positions: turning points (and the gate)
// stream into the stack of open values, each closed cycle goes to the
// records, the power sums and the matrix as it closes, the residue at the end.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <stdexcept>

#include "records/counter_state.hpp"
#include "records/push_points.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cyclewright {

namespace {

using records::Point;

constexpr std::size_t kSentinels = RainflowCounter::State::kSentinels;

bool increasing(const std::vector<double>& edges) {
    if (edges.size() < 2) return false;
    for (std::size_t i = 0; i < edges.size(); ++i)
        if (!std::isfinite(edges[i]) || (i != 0 && !(edges[i - 1] < edges[i]))) return false;
    return true;
}

}  // namespace

void records::check(const CountOptions& o) {
    if (o.residue > Residue::discard) throw BadCountOption("unknown residue");
    if (o.flat_tops > FlatTops::drop) throw BadCountOption("unknown flat_tops");
    if (!(std::isfinite(o.gate) && o.gate >= 0.0)) throw BadCountOption("gate must be a finite number >= 0");
    for (const double m : o.exponents)
        if (!(std::isfinite(m) && m > 0.0)) throw BadCountOption("every exponent m must be finite and > 0");
    if (o.range_edges.empty() != o.mean_edges.empty())
        throw BadCountOption("a matrix needs both range edges and mean edges");
    if (!o.range_edges.empty() && !(increasing(o.range_edges) && increasing(o.mean_edges)))
        throw BadCountOption("bin edges must be at least two finite numbers, strictly increasing");
}

// x * 0 is NaN for exactly the samples that are NaN or infinite, and a NaN
// stays in a sum, so blocks are checked by adding.
std::size_t records::first_non_finite(const double* x, std::size_t n) {
    constexpr std::size_t kBlock = 256;
    for (std::size_t start = 0; start < n; start += kBlock) {
        const std::size_t stop = std::min(n, start + kBlock);
        double acc[4] = {0.0, 0.0, 0.0, 0.0};
        std::size_t i = start;
        for (; i + 4 <= stop; i += 4)
            for (std::size_t lane = 0; lane < 4; ++lane) acc[lane] += x[i + lane] * 0.0;
        for (; i < stop; ++i) acc[0] += x[i] * 0.0;
        if ((acc[0] + acc[1]) + (acc[2] + acc[3]) == 0.0) continue;
        for (i = start; i < stop; ++i)
            if (!std::isfinite(x[i])) return i;
    }
    return n;
}

namespace {

using records::first_non_finite;

// A block of closed cycles, each bounded by b and c (b the earlier), into the
// records, the power sums and the matrix, in closing order.
void add_closed(RainflowCounter::State& s, const Point* b, const Point* c, std::size_t count) {
    if (s.options.keep_cycles) {
        CycleRecords& r = s.records;
        double* const range = r.range.extend(count);
        double* const mean = r.mean.extend(count);
        double* const ones = r.count.extend(count);
        std::int64_t* const start = r.start.extend(count);
        std::int64_t* const end = r.end.extend(count);
        double* const start_value = r.start_value.extend(count);
        double* const end_value = r.end_value.extend(count);
        std::size_t j = 0;
#if defined(__SSE2__)
        // Two records at a time: a pair of points is a pair of values and a
        // pair of indices; the same operations as below, lane by lane.
        const __m128d sign = _mm_set1_pd(-0.0), half = _mm_set1_pd(0.5), one = _mm_set1_pd(1.0);
        auto load = [](const Point* p) { return _mm_loadu_pd(reinterpret_cast<const double*>(p)); };
        for (; j + 2 <= count; j += 2) {
            const __m128d b0 = load(b + j), b1 = load(b + j + 1), c0 = load(c + j), c1 = load(c + j + 1);
            const __m128d from = _mm_unpacklo_pd(b0, b1), to = _mm_unpacklo_pd(c0, c1);
            _mm_storeu_pd(range + j, _mm_andnot_pd(sign, _mm_sub_pd(from, to)));
            _mm_storeu_pd(mean + j, _mm_mul_pd(_mm_add_pd(from, to), half));
            _mm_storeu_pd(ones + j, one);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(start + j), _mm_castpd_si128(_mm_unpackhi_pd(b0, b1)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(end + j), _mm_castpd_si128(_mm_unpackhi_pd(c0, c1)));
            _mm_storeu_pd(start_value + j, from);
            _mm_storeu_pd(end_value + j, to);
        }
#endif
        for (; j < count; ++j) {
            range[j] = std::fabs(b[j].value - c[j].value);
            mean[j] = (b[j].value + c[j].value) * 0.5;
            ones[j] = 1.0;
            start[j] = b[j].index;
            end[j] = c[j].index;
            start_value[j] = b[j].value;
            end_value[j] = c[j].value;
        }
    }
    for (std::size_t j = 0; s.sums.active() && j < count; ++j) s.sums.add_closed(std::fabs(b[j].value - c[j].value));
    for (std::size_t j = 0; s.matrix.active() && j < count; ++j)
        s.matrix.add(std::fabs(b[j].value - c[j].value), (b[j].value + c[j].value) * 0.5, 1.0);
}

// Pushes the points onto the stack, closing cycles as the module's count
// does (records/push_points.hpp), by the fastest build of the step.
void push_points(RainflowCounter::State& s, std::span<const Point> points) {
    static const records::PushPoints push = records::runnable_push_builds().back().push;
    if (points.empty()) return;
    std::vector<Point>& stack = s.stack;
    const std::size_t top = stack.size();
    stack.resize(top + points.size());
    const records::ClosedSink sink = [](void* context, const Point* b, const Point* c, std::size_t count) {
        add_closed(*static_cast<RainflowCounter::State*>(context), b, c, count);
    };
    stack.resize(push(stack.data(), top, points.data(), points.size(), sink, &s));
}

// The points of a block, through the gate when there is one.
void count_points(RainflowCounter::State& s, std::span<const Point> points) {
    if (s.options.gate == 0.0) return push_points(s, points);
    for (const Point& p : points) {
        auto next = [&s](const Point& kept) { push_points(s, {&kept, 1}); };
        s.gate.push(p, next);
    }
}

}  // namespace

RainflowCounter::RainflowCounter(CountOptions options) {
    records::check(options);
    state_ = std::make_unique<State>(std::move(options));
    State& s = *state_;
    s.stack.assign(kSentinels, Point{std::numeric_limits<double>::quiet_NaN(), -1});
    s.sums.set_exponents(s.options.exponents);
    if (!s.options.range_edges.empty()) {
        s.matrix.range_edges = s.options.range_edges;
        s.matrix.mean_edges = s.options.mean_edges;
        s.matrix.counts.assign((s.options.range_edges.size() - 1) * (s.options.mean_edges.size() - 1), 0.0);
    }
}

RainflowCounter::RainflowCounter(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
RainflowCounter::RainflowCounter(RainflowCounter&&) noexcept = default;
RainflowCounter& RainflowCounter::operator=(RainflowCounter&&) noexcept = default;
RainflowCounter::~RainflowCounter() = default;

void RainflowCounter::feed(std::span<const double> chunk) {
    State& s = *state_;
    if (s.finished) throw std::logic_error("the count is finished");
    const std::size_t bad = first_non_finite(chunk.data(), chunk.size());
    if (bad != chunk.size()) throw NonFiniteSample(s.samples + bad, chunk[bad]);
    if (s.options.keep_cycles) {
        // Each closed cycle takes two turning points: room for as many as the
        // chunk can close, reserved at once rather than copied as it grows.
        // Untouched, the room costs no memory.
        CycleRecords& r = s.records;
        const std::size_t most = chunk.size() / 2 + 1;
        for (auto* column : {&r.range, &r.mean, &r.count, &r.start_value, &r.end_value}) column->expect(most);
        r.start.expect(most);
        r.end.expect(most);
    }
    s.points.feed(chunk, static_cast<std::int64_t>(s.samples),
                  [&s](std::span<const Point> block) { count_points(s, block); });
    s.samples += chunk.size();
}

void RainflowCounter::finish() {
    State& s = *state_;
    if (s.finished) throw std::logic_error("the count is finished");
    if (s.samples == 0) throw EmptySignal();
    s.points.finish([&s](std::span<const Point> block) { count_points(s, block); });
    if (s.options.gate != 0.0) {
        auto next = [&s](const Point& kept) { push_points(s, {&kept, 1}); };
        s.gate.finish(next);
    }
    const std::span<const Point> residue = std::span<const Point>(s.stack).subspan(kSentinels);
    CycleRecords& r = s.records;
    if (s.options.residue != Residue::discard && residue.size() > 1) {
        const double count = s.options.residue == Residue::half ? 0.5 : 1.0;
        std::vector<double> ranges;
        ranges.reserve(residue.size() - 1);
        for (std::size_t j = 1; j < residue.size(); ++j) {
            const Point &p = residue[j - 1], &q = residue[j];
            const double range = std::fabs(q.value - p.value), mean = (p.value + q.value) * 0.5;
            r.range.push_back(range);
            r.mean.push_back(mean);
            r.count.push_back(count);
            r.start.push_back(p.index);
            r.end.push_back(q.index);
            r.start_value.push_back(p.value);
            r.end_value.push_back(q.value);
            ranges.push_back(range);
            if (s.matrix.active()) s.matrix.add(range, mean, count);
        }
        if (s.sums.active()) s.sums.add(ranges, s.options.residue == Residue::full);
    }
    r.residue.clear();
    r.residue_index.clear();
    for (const Point& p : residue) {
        r.residue.push_back(p.value);
        r.residue_index.push_back(p.index);
    }
    s.finished = true;
}

bool RainflowCounter::finished() const noexcept { return state_->finished; }
std::uint64_t RainflowCounter::samples() const noexcept { return state_->samples; }
const CountOptions& RainflowCounter::options() const noexcept { return state_->options; }
CycleRecords& RainflowCounter::records() noexcept { return state_->records; }
std::span<const double> RainflowCounter::power_sums() { return state_->sums.sums(); }
std::span<const double> RainflowCounter::matrix() const noexcept { return state_->matrix.counts; }

double equivalent_load(double power_sum, double m, double neq) noexcept {
    return power(power_sum / (2.0 * neq), 1.0 / m);
}

}  // namespace cyclewright
