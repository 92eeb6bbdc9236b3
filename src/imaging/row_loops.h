// SPDX-License-Identifier: Apache-2.0
#pragma once

// Whole-row loops built twice, for any x86-64 and for AVX2, the copy chosen
// when the program starts. Results are the same to the bit either way: the
// integer work is exact, and AVX2 brings no fused multiply-add to round
// floating point differently. The sanitized build keeps the portable copy
// alone (OMBREL_PORTABLE_LOOPS), so the tests run both on an AVX2 machine.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(OMBREL_PORTABLE_LOOPS)
#define OMBREL_ROW_LOOPS __attribute__((target_clones("avx2", "default")))
#else
#define OMBREL_ROW_LOOPS
#endif

// Bit counts through the processor's own instruction where it has one: the
// x86-64 baseline lacks it, so std::popcount would be a library call there.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(OMBREL_PORTABLE_LOOPS)
#define OMBREL_BIT_COUNTS __attribute__((target_clones("popcnt", "default")))
#else
#define OMBREL_BIT_COUNTS
#endif
