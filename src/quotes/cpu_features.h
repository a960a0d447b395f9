#pragma once
// The vector instructions the page scans may use: SSE2 wherever the compiler
// targets it, AVX2 paths on x86-64 (taken only where the processor has it,
// checked at run time).
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define LARKSPIRE_AVX2_PATHS 1
#endif
