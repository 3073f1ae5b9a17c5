// The build being compiled, and what it may use. Each build's file
// (isa/*.cpp) defines CYCLEWRIGHT_BUILD_<NAME> and then includes
// isa/build.hpp, so that every build compiles the same kernel headers:
// - CYCLEWRIGHT_ISA names the build's namespace, in which every kernel header
//   puts its code: no two builds then share a symbol, so the linker can never
//   hand one build's code to another;
// - CYCLEWRIGHT_ISA_<SET> is 1 where the build may use that instruction set,
//   else 0, and is the one way a kernel header chooses a variant
//   (`#if CYCLEWRIGHT_ISA_AVX2`).
#pragma once

#if defined(CYCLEWRIGHT_BUILD_BASELINE)
#define CYCLEWRIGHT_ISA isa_baseline
#define CYCLEWRIGHT_ISA_SSE41 0
#define CYCLEWRIGHT_ISA_AVX2 0
#define CYCLEWRIGHT_ISA_AVX512 0
#elif defined(CYCLEWRIGHT_BUILD_SSE41) && defined(__SSE4_1__)
#define CYCLEWRIGHT_ISA isa_sse41
#define CYCLEWRIGHT_ISA_SSE41 1
#define CYCLEWRIGHT_ISA_AVX2 0
#define CYCLEWRIGHT_ISA_AVX512 0
#elif defined(CYCLEWRIGHT_BUILD_AVX2) && defined(__AVX2__) && defined(__FMA__)
#define CYCLEWRIGHT_ISA isa_avx2
#define CYCLEWRIGHT_ISA_SSE41 1
#define CYCLEWRIGHT_ISA_AVX2 1  // with FMA
#define CYCLEWRIGHT_ISA_AVX512 0
#elif defined(CYCLEWRIGHT_BUILD_AVX512) && defined(__AVX2__) && defined(__FMA__) && defined(__AVX512F__) && \
    defined(__AVX512DQ__) && defined(__AVX512VL__)
#define CYCLEWRIGHT_ISA isa_avx512
#define CYCLEWRIGHT_ISA_SSE41 1
#define CYCLEWRIGHT_ISA_AVX2 1
#define CYCLEWRIGHT_ISA_AVX512 1  // F, DQ and VL
#else
#error "kernel code is compiled only by a build of isa/, with that build's flags"
#endif

// SSE2 belongs to every x86-64 processor, so even the portable baseline
// uses it there.
#if defined(__SSE2__)
#define CYCLEWRIGHT_ISA_SSE2 1
#else
#define CYCLEWRIGHT_ISA_SSE2 0
#endif
