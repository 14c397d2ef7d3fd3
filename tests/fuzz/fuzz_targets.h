#pragma once
// The fuzz targets: each takes arbitrary bytes, feeds them to one parser of
// hostile input and checks what must hold whatever the input. A broken rule
// aborts (so libFuzzer keeps the input); a clean return is 0.
//
// The same functions serve two programs: a libFuzzer executable per target
// (fuzz_main.cpp, built with -DVEDO_FUZZ=ON under clang) and fuzz_replay_tests,
// which runs every input kept under tests/fuzz/corpus/<target>/ in the
// ordinary suite, so a crash once found stays fixed.

#include <cstddef>
#include <cstdint>

namespace vedo::fuzz {

// One batch-file line: ParseBatchLine and IsBatchHeader.
int batchLine(const std::uint8_t* data, std::size_t size);
// A settings file: the profile reader, LoadSettings, and a save that keeps
// every value it read.
int profileFile(const std::uint8_t* data, std::size_t size);
// The codec's decoder over arbitrary packed bytes.
int codecDecoder(const std::uint8_t* data, std::size_t size);
// Encoder then decoder: whatever goes in comes back out.
int codecRoundTrip(const std::uint8_t* data, std::size_t size);
// The library's archive header reader over an arbitrary archive file.
int archiveHeaders(const std::uint8_t* data, std::size_t size);
// The library's list, test and extract commands over an arbitrary archive file.
int archiveReader(const std::uint8_t* data, std::size_t size);

// Aborts with a message naming the broken rule.
[[noreturn]] void fail(const char* rule);
inline void check(bool holds, const char* rule) {
  if (!holds) fail(rule);
}

}  // namespace vedo::fuzz
