// Random and mutated batch files through the runner, with the scripted port and
// the stand-in archiver, in a temporary folder made current. The generator never
// writes "/", "\" or "..", so no entry can name a path outside that folder; a
// sentinel folder beside it shows that nothing outside was touched.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/batch_runner.h"
#include "engine/engine_context.h"
#include "engine/handler_error.h"
#include "engine/job_fields.h"
#include "tests/support/fake_unlha.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"

namespace vedo {
namespace {

namespace stdfs = std::filesystem;
using test::Prompt;

// Pieces that make the parser's decisions likely: prefixes, separators of the
// line format, blanks, line ends, the end-of-file byte, wildcards, names that
// exist, and double-byte characters whose second byte is "{" (ボ) or ";"-like.
const std::vector<std::string> kTokens = {
    "<DL>", "<DC>", "<BC>", "<BD>", "<ND>", "<CP>", "<MV>", "<CD>", "<UD>", "<UN>", "<XX>", "<",
    ";", ";", "{", "}", " ", "  ", "\t", "\r", "\n", "\r\n", "\r\n", "\x1A", "*", "?", "*.*",
    ".", "A.TXT", "B.TXT", "SUB", "NEW", "A.LZH", "X", "\x83\x7B" /* ボ */, "\x83\x7B.TXT",
    "\x81\x40" /* full-width space */, "\xB1" /* ｱ */, "\x83", "\xFC", std::string(1, '\0'), "[VEDO BATFILE]"};

const std::string kHeader = "[VEDO BATFILE]\r\n";

// Bytes the generator must never leave in a file: separators, and "." after
// "." (a ".." could climb out of the folder).
void sanitize(std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '/' || bytes[i] == '\\') bytes[i] = '_';
    if (i > 0 && bytes[i] == '.' && bytes[i - 1] == '.') bytes[i] = '_';
  }
}

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }

  std::string pick(const std::vector<std::string>& from) { return from[below(from.size())]; }

  // Mostly well-formed entries, so that many runs reach the entry operations.
  std::string entry() {
    static const std::vector<std::string> prefixes = {"", "", "<DL>", "<DC>", "<BC>", "<BD>", "<ND>",
                                                      "<CP>", "<MV>", "<CD>", "<UD>", "<UN>", "<XX>"};
    static const std::vector<std::string> names = {"A.TXT", "B.TXT", "*.TXT", "SUB", "NEW", "\x83\x7B.TXT",
                                                   "*.*", "A.LZH", "?.TXT", "Z.TXT"};
    static const std::vector<std::string> tails = {"", "", " ", " {note}", "{", "\t"};
    std::string out = pick(prefixes) + pick(tails) + pick(names) + pick(tails);
    if (chance(80)) out += ";" + pick(tails) + pick(names) + pick(tails);
    return out;
  }

  std::string line() {
    if (chance(50)) return entry();
    std::string out;
    const std::size_t pieces = below(12);
    for (std::size_t i = 0; i < pieces; ++i) {
      if (chance(15))
        out += static_cast<char>(below(256));
      else
        out += kTokens[below(kTokens.size())];
    }
    if (chance(2)) out += std::string(200 + below(400), 'L');  // across the 255-byte cuts
    return out;
  }

  std::string file() {
    std::string out = chance(90) ? kHeader : line() + "\r\n";
    const std::size_t lines = below(8);
    for (std::size_t i = 0; i < lines; ++i) out += line() + (chance(80) ? "\r\n" : "\r");
    return out;
  }

  // Byte-level changes of a generated file: flips, insertions, removals, copies.
  std::string mutate(std::string bytes) {
    const std::size_t edits = 1 + below(6);
    for (std::size_t e = 0; e < edits; ++e) {
      const std::size_t at = bytes.empty() ? 0 : below(bytes.size());
      switch (below(4)) {
        case 0:
          if (!bytes.empty()) bytes[at] = static_cast<char>(bytes[at] ^ (1u << below(8)));
          break;
        case 1: bytes.insert(at, kTokens[below(kTokens.size())]); break;
        case 2: bytes.erase(at, below(8)); break;
        case 3: bytes.insert(at, bytes.substr(at, below(32))); break;
      }
    }
    return bytes;
  }

 private:
  std::mt19937 rng_;
};

// Name, size, time and content of every file under a folder.
std::map<std::string, std::string> snapshot(const stdfs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : stdfs::recursive_directory_iterator(folder)) {
    std::string state = std::to_string(e.last_write_time().time_since_epoch().count());
    if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      state += ":" + std::string(std::istreambuf_iterator<char>(in), {});
    }
    out[stdfs::relative(e.path(), folder).string()] = state;
  }
  return out;
}

void seedWork(const stdfs::path& work) {
  for (const auto& e : stdfs::directory_iterator(work)) stdfs::remove_all(e.path());
  stdfs::create_directory(work / "SUB");
  for (const char* name : {"A.TXT", "B.TXT", "SUB/A.TXT", "ボ.TXT"})
    std::ofstream(work / name) << "content of " << name;
}

// A fresh folder in /dev/shm when there is one, else in the temporary folder.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    const stdfs::path base = stdfs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                                 ? stdfs::path("/dev/shm")
                                 : stdfs::temp_directory_path();
    std::string templ = (base / "vedo-batch-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
  }
  ~ScratchFolder() {
    std::error_code ec;
    stdfs::remove_all(path_, ec);
  }
  const stdfs::path& path() const { return path_; }
  std::string sjis(const std::string& name) const { return test::sj((path_ / name).string()); }

 private:
  stdfs::path path_;
};

TEST(BatchRobustness, RandomAndMutatedFilesStayInsideTheirFolder) {
  unlha32::LoadArchiver(test::fakeUnlhaPath().c_str());
  test::FakeUnlha fake;

  // The copies end with fsync; a memory file system keeps thousands of runs fast.
  ScratchFolder root;
  const stdfs::path work = root.path() / "work";
  const stdfs::path outside = root.path() / "outside";
  stdfs::create_directories(work);
  stdfs::create_directories(outside / "SUB");
  for (const char* name : {"A.TXT", "B.TXT", "A.LZH", "SUB/A.TXT", "NEW"})
    std::ofstream(outside / name) << "sentinel " << name;
  const auto outsideBefore = snapshot(outside);
  const std::string batchFile = root.sjis("run.vdb");

  const stdfs::path previous = stdfs::current_path();
  Generator gen(20261207);
  int handlerErrors = 0;
  constexpr int kRuns = 4000;
  for (int run = 0; run < kRuns; ++run) {
    if (run % 5 == 0) seedWork(work);
    stdfs::current_path(work);

    std::string bytes = gen.chance(50) ? gen.file() : gen.mutate(gen.file());
    sanitize(bytes);
    std::ofstream(root.path() / "run.vdb", std::ios::binary) << bytes;

    AppState state;
    state.BatchConfirm = gen.chance(50);
    state.DeleteMode = static_cast<int>(gen.below(4));
    state.StartAnswer = std::vector<int>{StartKeep, StartDelete, StartAskEach, StartAbort}[gen.below(4)];
    state.EntryAnswer = static_cast<int>(1 + gen.below(3));
    PlainJobFields fields;
    fields.setBatchFileName(batchFile);
    fields.setDeleteAfter(gen.chance(30));
    test::ScriptedPort port(state);
    port.setProgressVisible(gen.chance(50));
    port.setDefaultAnswer(Prompt::Start, StartKeep);
    port.setDefaultAnswer(Prompt::Confirm, std::vector<int>{AnswerGo, AnswerSkip, AnswerAbort,
                                                            test::ScriptedPort::FrameClose}[gen.below(4)]);
    port.setDefaultAnswer(Prompt::SourceNotFound, gen.chance(80) ? AnswerSkip : AnswerAbort);
    port.setDefaultAnswer(Prompt::Delete, gen.chance(50) ? DeleteYes : DeleteNo);
    EngineContext ctx{state, fields, port, unlha32::Archiver()};

    try {
      RunBatchFile(ctx);
    } catch (const HandlerError&) {
      ++handlerErrors;  // a generated file never fails to read
    }

    const std::string cwd = stdfs::current_path().string();
    ASSERT_EQ(cwd.rfind(work.string(), 0), 0u) << "run " << run << " left the folder: " << cwd;
  }
  stdfs::current_path(previous);

  EXPECT_EQ(handlerErrors, 0);
  EXPECT_EQ(snapshot(outside), outsideBefore);
  std::vector<std::string> rootEntries;
  for (const auto& e : stdfs::directory_iterator(root.path())) rootEntries.push_back(e.path().filename());
  std::sort(rootEntries.begin(), rootEntries.end());
  EXPECT_EQ(rootEntries, (std::vector<std::string>{"outside", "run.vdb", "work"}));
  EXPECT_GT(fake.callCount(), kRuns / 10);  // the runs reached the archiver
  fake.reset();
}

}  // namespace
}  // namespace vedo
