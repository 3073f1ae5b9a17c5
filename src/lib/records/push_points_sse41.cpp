// The SSE4.1 build of the count's step: a choice between points is one blend.
#include <smmintrin.h>

#include "records/push_step.hpp"

namespace cyclewright::records {

std::size_t push_points_sse41(Point* stack, std::size_t top, const Point* in, std::size_t n, ClosedSink sink,
                              void* context);

std::size_t push_points_sse41(Point* stack, std::size_t top, const Point* in, std::size_t n, ClosedSink sink,
                              void* context) {
    auto choose = [](__m128d mask, __m128d p, __m128d q) { return _mm_blendv_pd(q, p, mask); };
    return push_step(stack, top, in, n, sink, context, choose);
}

}  // namespace cyclewright::records
