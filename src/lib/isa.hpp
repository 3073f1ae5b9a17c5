// The headers whose code is compiled once per instruction set (the load
// kernels are built for the baseline and for SSE4.1) put it in this inline
// namespace, so that the two builds of an inline function never share a
// symbol and the linker cannot hand one build's code to the other.
#pragma once

#if defined(__SSE4_1__)
#define CYCLEWRIGHT_ISA isa_sse41
#else
#define CYCLEWRIGHT_ISA isa_baseline
#endif
