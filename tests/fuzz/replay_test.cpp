// Every input kept under tests/fuzz/corpus/<target>/ (the seeds, and each input
// that once made a target crash) runs through its target in the ordinary
// suite, under the sanitizers in the asan build. A broken rule aborts the
// program, which fails the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace {

namespace stdfs = std::filesystem;

struct Target {
  const char* name;
  int (*run)(const std::uint8_t*, std::size_t);
};

const Target kTargets[] = {
    {"batch_line", vedo::fuzz::batchLine},
    {"profile_file", vedo::fuzz::profileFile},
    {"codec_decoder", vedo::fuzz::codecDecoder},
    {"codec_round_trip", vedo::fuzz::codecRoundTrip},
    {"archive_headers", vedo::fuzz::archiveHeaders},
};

class FuzzCorpus : public testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryKeptInputPasses) {
  const stdfs::path folder = stdfs::path(VEDO_FUZZ_CORPUS_DIR) / GetParam().name;
  ASSERT_TRUE(stdfs::is_directory(folder)) << folder;
  std::size_t inputs = 0;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(GetParam().run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    ++inputs;
  }
  EXPECT_GT(inputs, 0u) << "no seed kept for " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
