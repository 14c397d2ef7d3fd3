// Every input kept under tests/fuzz/corpus/<target>/ (the seeds, and each input
// that once made a target crash) runs through its target in the ordinary
// suite, under the sanitizers in the asan build. A broken rule aborts the
// program, which fails the test.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_folder.h"

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
    {"archive_reader", vedo::fuzz::archiveReader},
};

// Inputs that still fail because of a fault reported and not yet fixed
// (corpus/known_faults.txt: "<target>/<file> <finding>"). Such an input still
// runs; while it fails the test is skipped naming the finding, and once it
// passes it counts like any other.
std::map<std::string, std::string> knownFaults() {
  std::map<std::string, std::string> known;
  std::ifstream in(stdfs::path(VEDO_FUZZ_CORPUS_DIR) / "known_faults.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    known[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
  }
  return known;
}

// Runs one input in a child process, so that a target that aborts fails only
// this input and the name of the file is reported. True when the child passed.
// The child's temporary files go into a folder of the parent's, removed after
// it: the child ends without running exit handlers.
bool passesInChild(const Target& target, const std::vector<char>& bytes) {
  const vedo::test::TempFolder tmp;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    const int r = target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ::_exit(r == 0 ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void PrintTo(const Target& t, std::ostream* os) { *os << t.name; }

class FuzzCorpus : public testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryKeptInputPasses) {
  const stdfs::path folder = stdfs::path(VEDO_FUZZ_CORPUS_DIR) / GetParam().name;
  ASSERT_TRUE(stdfs::is_directory(folder)) << folder;
  std::size_t inputs = 0;
  const std::map<std::string, std::string> known = knownFaults();
  std::string skipped;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    const std::string name = entry.path().filename().string();
    ++inputs;
    if (passesInChild(GetParam(), bytes)) continue;
    const auto fault = known.find(std::string(GetParam().name) + "/" + name);
    if (fault != known.end()) {
      skipped += (skipped.empty() ? "" : "; ") + name + " (" + fault->second + ")";
      continue;
    }
    ADD_FAILURE() << "input " << entry.path() << " fails its target";
  }
  EXPECT_GT(inputs, 0u) << "no seed kept for " << GetParam().name;
  if (!skipped.empty() && !HasFailure()) GTEST_SKIP() << "known faults: " << skipped;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
