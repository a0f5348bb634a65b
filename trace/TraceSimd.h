#pragma once
// The hot loops (extremes of raw codes, the rows of a frame) are built twice
// on x86-64: for AVX2, whose unsigned 32-bit min/max and compares take one
// instruction, and for the baseline, picked once at load time. Elsewhere the
// plain build is the only one.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__)
#define MIRANTOS_TRACE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define MIRANTOS_TRACE_CLONES
#endif
