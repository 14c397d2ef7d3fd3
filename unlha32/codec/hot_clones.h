#pragma once
// LZH_HOT_CLONES marks the codec's innermost loops (the lazy parser, the
// block writer, the decoder) to be compiled twice: for any x86-64, and for
// processors of the x86-64-v3 level (AVX2, BMI2, LZCNT: since about 2013-2015),
// where a shift by a register and a bit count are one instruction each; the
// loader picks the version the processor runs. About 2% of -lh5-'s time.
// Only GCC 12 or later on x86-64 with glibc (whose loader resolves the
// choice) gets the second version: Clang refuses it on flattened functions
// and on functions used before their definition.

#include <cstdint>  // defines __GLIBC__ where the C library is glibc

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__GLIBC__)
#define LZH_HOT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define LZH_HOT_CLONES
#endif
