#pragma once
// LZH_HOT_CLONES marks the codec's innermost loops (the lazy parser, the
// block writer, the decoder) to be compiled twice: for any x86-64, and for
// processors of the x86-64-v3 level (AVX2, BMI2, LZCNT: since about 2013-2015),
// where a shift by a register and a bit count are one instruction each; the
// loader picks the version the processor runs. About 2% of -lh5-'s time.
// Only GCC on x86-64 gets the second version (Clang refuses it on flattened
// or earlier declared functions).

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define LZH_HOT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define LZH_HOT_CLONES
#endif
