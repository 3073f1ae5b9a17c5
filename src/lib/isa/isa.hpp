// The namespace of the build being compiled. Each build's file (isa/*.cpp)
// defines CYCLEWRIGHT_BUILD_<NAME> before it includes any kernel header, and
// every kernel header puts its code in CYCLEWRIGHT_ISA: no two builds then
// share a symbol, so the linker can never hand one build's code to another.
#pragma once

#if defined(CYCLEWRIGHT_BUILD_BASELINE)
#define CYCLEWRIGHT_ISA isa_baseline
#elif defined(CYCLEWRIGHT_BUILD_SSE41) && defined(__SSE4_1__)
#define CYCLEWRIGHT_ISA isa_sse41
#elif defined(CYCLEWRIGHT_BUILD_AVX2) && defined(__AVX2__) && defined(__FMA__)
#define CYCLEWRIGHT_ISA isa_avx2
#elif defined(CYCLEWRIGHT_BUILD_AVX512) && defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512VL__)
#define CYCLEWRIGHT_ISA isa_avx512
#else
#error "kernel code is compiled only by a build of isa/, with that build's flags"
#endif
