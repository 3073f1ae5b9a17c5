// The step of the four-point count over points with positions, built twice:
// for every x86-64 processor (SSE2, or portable C++ elsewhere) and for
// SSE4.1, whose blends make each choice between points one instruction and
// so shorten the step by about half. The count uses the fastest build this
// processor runs; the tests run each one.
#pragma once

#include <cstddef>
#include <span>

#include "records/point_stream.hpp"

namespace cyclewright::records {

// Receives a block of closed cycles, each bounded by b[j] and c[j] (b the
// earlier), in closing order.
using ClosedSink = void (*)(void* context, const Point* b, const Point* c, std::size_t count);

// Pushes in[0], ..., in[n - 1] in order onto the stack (points stack[0] to
// stack[top - 1], the lowest seven of them NaN sentinels, with room for n
// more); after each push, closes cycles while the last four values a, b, c,
// d pass |a - b| >= |b - c| <= |c - d|, as the module's count does, so that
// both close the same cycles in the same order. Returns the new top.
using PushPoints = std::size_t (*)(Point* stack, std::size_t top, const Point* in, std::size_t n,
                                   ClosedSink sink, void* context);

// How many points the step reads below the top of a stack.
inline constexpr std::size_t kPushSentinels = 7;

struct PushBuild {
    const char* name;
    PushPoints push;
};

// Every build this processor runs, portable first, fastest last.
std::span<const PushBuild> runnable_push_builds() noexcept;

}  // namespace cyclewright::records
