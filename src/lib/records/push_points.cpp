// The portable build of the count's step (SSE2 on every x86-64 processor),
// and the choice among the builds.
#include "records/push_points.hpp"

#include <cmath>

#include "kernels.hpp"
#include "records/push_step.hpp"

namespace cyclewright::records {

#if defined(CYCLEWRIGHT_X86_BUILDS)
std::size_t push_points_sse41(Point* stack, std::size_t top, const Point* in, std::size_t n, ClosedSink sink,
                              void* context);
#endif

namespace {

std::size_t push_points_portable(Point* v, std::size_t top, const Point* in, std::size_t n, ClosedSink sink,
                                 void* context) {
#if defined(__SSE2__)
    auto choose = [](__m128d mask, __m128d p, __m128d q) {
        return _mm_or_pd(_mm_and_pd(mask, p), _mm_andnot_pd(mask, q));
    };
    return push_step(v, top, in, n, sink, context, choose);
#else
    // The same tests and closes, the values from memory.
    constexpr std::size_t kBlock = 512;
    Point closed_b[kBlock], closed_c[kBlock];
    std::size_t closed = 0;
    for (std::size_t i = 0; i < n;) {
        const Point a = v[top - 3], b = v[top - 2], c = v[top - 1], d = in[i];
        const double y = std::fabs(b.value - c.value);
        const bool closes = static_cast<unsigned>(std::fabs(a.value - b.value) >= y) &
                            static_cast<unsigned>(std::fabs(c.value - d.value) >= y);
        closed_b[closed] = b;
        closed_c[closed] = c;
        closed += closes;
        v[top] = d;
        top = closes ? top - 2 : top + 1;
        i += !closes;
        if (closed == kBlock) {
            sink(context, closed_b, closed_c, closed);
            closed = 0;
        }
    }
    sink(context, closed_b, closed_c, closed);
    return top;
#endif
}

constexpr PushBuild kPushBuilds[] = {
    {"portable", push_points_portable},
#if defined(CYCLEWRIGHT_X86_BUILDS)
    {"sse4.1", push_points_sse41},
#endif
};

// The core's kernels say what this processor runs (their builds from the
// second on need SSE4.1), so that only they ask it.
std::size_t runnable_push_count() noexcept {
#if defined(CYCLEWRIGHT_X86_BUILDS)
    return detail::runnable_builds().size() >= 2 ? 2 : 1;
#else
    return 1;
#endif
}

}  // namespace

std::span<const PushBuild> runnable_push_builds() noexcept {
    static const std::size_t count = runnable_push_count();
    return {kPushBuilds, count};
}

}  // namespace cyclewright::records
