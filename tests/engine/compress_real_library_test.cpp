// CompressEntry with the product library: a wildcard compressed with its
// sources deleted must leave an archive that an independent reader accepts and
// that holds every deleted file, byte for byte.
#include "engine/compress_entry.h"

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/engine_context.h"
#include "engine/job_fields.h"
#include "platform/cp932.h"
#include "tests/support/other_program.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"
#include "unlha32/codec/lzh_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vedo {
namespace {

namespace stdfs = std::filesystem;

std::string realLibraryPath() {
  const char* bin = std::getenv("VEDO_BUILD_BIN");
  return std::string(bin ? bin : VEDO_DEFAULT_BUILD_BIN) + "/libunlha32.so";
}

int runQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

struct RealCase {
  const char* name;
  const char* pattern;  // inside the temporary folder
  const char* archive;  // inside the temporary folder
  const char* kept;     // a file in src/ the pattern does not match, or ""
};

// The binding loaded with the product library for each test.
// A quiet job ("-n": no progress window of the library's own) from `source`
// into `archive` that deletes its sources afterwards, over `archiver`.
struct DeletingJob {
  DeletingJob(const std::string& source, const std::string& archive, unlha32::ArchiverBinding& archiver)
      : port(state), ctx{state, fields, port, archiver} {
    state.JobDialogs = false;
    fields.setSource(source);
    fields.setTarget(archive);
    fields.setDeleteAfter(true);
  }
  AppState state;
  PlainJobFields fields;
  test::ScriptedPort port;
  EngineContext ctx;
};

class RealLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string library = realLibraryPath();
    ASSERT_TRUE(stdfs::exists(library)) << library;
    unlha32::setNoticeHook([this](const std::string& text) { stubNotices.push_back(text); });
    unlha32::LoadArchiver(library.c_str());
    ASSERT_TRUE(unlha32::ArchiverLoaded());
  }
  void TearDown() override {
    unlha32::UnloadArchiver();
    unlha32::setNoticeHook(nullptr);
  }
  std::vector<std::string> stubNotices;
};

class CompressEntryRealLibrary : public RealLibrary, public ::testing::WithParamInterface<RealCase> {};

TEST_P(CompressEntryRealLibrary, WildcardWithDeleteLeavesAnArchiveHoldingEveryDeletedFile) {
  const RealCase& c = GetParam();
  test::TempFolder tmp;
  std::map<std::string, std::string> sources;
  sources["A.TXT"] = "first file\n";
  sources["B.TXT"] = std::string(100000, 'b') + "tail";
  std::string mixed;
  for (int i = 0; i < 20000; ++i) mixed += std::to_string(i * 7919 % 1000) + ",";
  sources["C.TXT"] = mixed;
  sources["EMPTY.TXT"] = "";
  for (const auto& [name, content] : sources) tmp.write(std::string("src/") + name, content);
  if (*c.kept) tmp.write(std::string("src/") + c.kept, "not matched");

  DeletingJob job(tmp.sjis(c.pattern), tmp.sjis(c.archive), unlha32::Archiver());

  EXPECT_TRUE(CompressEntry(job.ctx));
  EXPECT_TRUE(stubNotices.empty());
  EXPECT_TRUE(job.port.notices().empty());
  for (const auto& [name, content] : sources) EXPECT_FALSE(stdfs::exists(tmp.path() / "src" / name)) << name;
  if (*c.kept) {
    EXPECT_TRUE(stdfs::exists(tmp.path() / "src" / c.kept));
  }

  const std::string archive = tmp.str(c.archive);
  ASSERT_TRUE(stdfs::exists(archive));
  EXPECT_EQ(runQuiet("lhasa t '" + archive + "'"), 0);
  ASSERT_EQ(runQuiet("lhasa xqw='" + tmp.str("check") + "' '" + archive + "'"), 0);
  std::size_t extracted = 0;
  for (const auto& entry : stdfs::directory_iterator(tmp.path() / "check")) {
    (void)entry;
    ++extracted;
  }
  EXPECT_EQ(extracted, sources.size());
  for (const auto& [name, content] : sources) EXPECT_EQ(tmp.read("check/" + name), content) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, CompressEntryRealLibrary,
    ::testing::Values(RealCase{"ArchiveElsewhere", "src/*.TXT", "out.lzh", "KEEP.DOC"},
                      // The archive lies in the searched folder and matches the
                      // pattern: it is neither stored in itself nor deleted.
                      RealCase{"ArchiveAmongTheSources", "src/*", "src/ALL.LZH", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Another program works on B.TXT while the delete pass removes it. Whatever
// it does, no version of B is lost: each is either in the archive (and the
// file removed) or still on disk.
struct RaceCase {
  const char* name;
  test::RemovalStep step;
  void (*act)(const stdfs::path& file);
  const char* bAfter;      // B.TXT afterwards, or nullptr when removed
  const char* keptAside;   // the old B kept under another name, or nullptr
  std::size_t notices;
};
void PrintTo(const RaceCase& c, std::ostream* os) { *os << c.name; }

constexpr const char* BStored = "version one of B";

class DeletePassRace : public RealLibrary,
                       public ::testing::WithParamInterface<RaceCase> {};

TEST_P(DeletePassRace, KeepsEveryVersion) {
  const RaceCase& c = GetParam();
  test::TempFolder tmp;
  tmp.write("src/A.TXT", "first file");
  tmp.write("src/B.TXT", BStored);
  DeletingJob job(tmp.sjis("src/*.TXT"), tmp.sjis("out.lzh"), unlha32::Archiver());
  {
    test::OtherProgram other(c.step, "B.TXT", c.act);
    EXPECT_TRUE(CompressEntry(job.ctx));
  }

  EXPECT_FALSE(stdfs::exists(tmp.path() / "src/A.TXT"));
  if (c.bAfter)
    EXPECT_EQ(tmp.read("src/B.TXT"), c.bAfter);
  else
    EXPECT_FALSE(stdfs::exists(tmp.path() / "src/B.TXT"));
  std::vector<stdfs::path> kept;
  for (const auto& entry : stdfs::directory_iterator(tmp.path() / "src"))
    if (entry.path().filename() != "B.TXT") kept.push_back(entry.path());
  ASSERT_EQ(kept.size(), c.keptAside ? 1u : 0u);
  if (c.keptAside) {
    EXPECT_EQ(tmp.read(stdfs::relative(kept[0], tmp.path()).string()), c.keptAside);
    EXPECT_NE(job.port.notices().back().text.find(*cp932::fromUtf8(kept[0].string())), std::string::npos);
  }
  EXPECT_EQ(job.port.notices().size(), c.notices);
  ASSERT_EQ(runQuiet("lhasa xqw='" + tmp.str("check") + "' '" + tmp.str("out.lzh") + "'"), 0);
  EXPECT_EQ(tmp.read("check/B.TXT"), BStored);
}

INSTANTIATE_TEST_SUITE_P(
    Races, DeletePassRace,
    ::testing::Values(
        RaceCase{"SavedByRenameBeforeRemoval", test::RemovalStep::BeforeCheck,
                 [](const stdfs::path& f) { test::saveByRename(f, "version two of B"); }, "version two of B",
                 nullptr, 1},
        RaceCase{"RewrittenWithItsTimePutBack", test::RemovalStep::BeforeCheck,
                 [](const stdfs::path& f) { test::rewriteKeepingTime(f, "VERSION ONE OF B"); }, "VERSION ONE OF B",
                 nullptr, 1},
        // Bytes changed with size and times as they were (a shared mapping):
        // only the check against the member's CRC sees it.
        RaceCase{"ChangedUnseenByTimesWhileAside", test::RemovalStep::MovedAside,
                 [](const stdfs::path& f) { test::rewriteKeepingTime(test::movedAside(f.parent_path()), "VERSION ONE OF B"); },
                 "VERSION ONE OF B", nullptr, 1},
        RaceCase{"SavedByRenameWhileAside", test::RemovalStep::MovedAside,
                 [](const stdfs::path& f) { test::saveByRename(f, "version two of B"); }, "version two of B", nullptr,
                 0},
        RaceCase{"ChangedAndSavedWhileAside", test::RemovalStep::MovedAside,
                 [](const stdfs::path& f) {
                   test::rewriteKeepingTime(test::movedAside(f.parent_path()), "VERSION ONE OF B");
                   test::saveByRename(f, "version two of B");
                 },
                 "version two of B", "VERSION ONE OF B", 2}),
    [](const auto& info) { return std::string(info.param.name); });

// The product library's own Unlha, for the stand-in below.
decltype(&::Unlha) productUnlha = nullptr;

// An archiver that reports success without holding every match: it runs the
// command, then takes B.TXT out of the archive again.
int UnlhaThatDropsAMember(void* owner, const char* command, char* output, uint32_t size) {
  const int result = productUnlha(owner, command, output, size);
  const std::string text(command);
  const std::size_t open = text.find('"');
  const std::size_t close = text.find('"', open + 1);
  const std::string drop = "d -n " + text.substr(open, close - open + 1) + " B.TXT";
  std::vector<char> ignored(size + 1, '\0');
  (void)productUnlha(owner, drop.c_str(), ignored.data(), size);
  return result;
}

TEST(CompressEntryRealLibraryCheck, DeletesOnlyFilesTheArchiveHolds) {
  const std::string library = realLibraryPath();
  ASSERT_TRUE(stdfs::exists(library)) << library;
  std::vector<std::string> stubNotices;
  unlha32::setNoticeHook([&](const std::string& text) { stubNotices.push_back(text); });
  unlha32::LoadArchiver(library.c_str());
  ASSERT_TRUE(unlha32::ArchiverLoaded());

  test::TempFolder tmp;
  tmp.write("src/A.TXT", "held");
  tmp.write("src/B.TXT", "dropped by the archiver");
  tmp.write("src/C.TXT", "held too");
  unlha32::ArchiverBinding table = unlha32::Archiver();
  productUnlha = table.Unlha;
  table.Unlha = &UnlhaThatDropsAMember;

  DeletingJob job(tmp.sjis("src/*.TXT"), tmp.sjis("out.lzh"), table);
  EXPECT_TRUE(CompressEntry(job.ctx));

  EXPECT_FALSE(stdfs::exists(tmp.path() / "src/A.TXT"));
  EXPECT_FALSE(stdfs::exists(tmp.path() / "src/C.TXT"));
  EXPECT_EQ(tmp.read("src/B.TXT"), "dropped by the archiver");
  const std::vector<test::PortEvent> notices = job.port.notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].text.find(tmp.sjis("src/B.TXT")), std::string::npos);
  EXPECT_TRUE(stubNotices.empty());

  unlha32::UnloadArchiver();
  unlha32::setNoticeHook(nullptr);
}

// A member of 4 GiB - 1 bytes: the library reports its size as the bit
// pattern 0xFFFFFFFF, which as an int is -1 and must not read as "no size".
// The library would take long to store such a file, so a stand-in stores a
// small file under the same name, and the size and CRC entries answer what
// the library answers for the big one.
constexpr std::uint64_t LargestMember = 0xFFFFFFFFull;
std::string smallStandIn;     // the source the stand-in stores instead
std::uint16_t largestCrc = 0;  // CRC-16 of LargestMember zero bytes

int UnlhaStoringTheStandIn(void* owner, const char* command, char* output, uint32_t size) {
  std::string text(command);
  const std::size_t sourceOpen = text.rfind('"', text.size() - 2);
  text.replace(sourceOpen + 1, text.size() - sourceOpen - 2, smallStandIn);
  return productUnlha(owner, text.c_str(), output, size);
}
int SizeOfTheLargestMember(int) { return static_cast<int>(static_cast<std::uint32_t>(LargestMember)); }
int CrcOfTheLargestMember(int) { return largestCrc; }

TEST_F(RealLibrary, MemberOfFourGiBLessOneByteIsDeleted) {
  test::TempFolder tmp;
  tmp.write("src/BIG.BIN", "");
  stdfs::resize_file(tmp.path() / "src/BIG.BIN", LargestMember);  // sparse: zero bytes
  tmp.write("stand-in/BIG.BIN", "small");
  smallStandIn = tmp.sjis("stand-in/BIG.BIN");
  const std::vector<std::uint8_t> zeros(1 << 20, 0);
  std::uint16_t crc = 0;
  for (std::uint64_t done = 0; done < LargestMember; done += zeros.size())
    crc = lzh::crc16(crc, std::span(zeros.data(), std::min<std::uint64_t>(zeros.size(), LargestMember - done)));
  largestCrc = crc;

  unlha32::ArchiverBinding table = unlha32::Archiver();
  productUnlha = table.Unlha;
  table.Unlha = &UnlhaStoringTheStandIn;
  table.UnlhaGetOriginalSize = &SizeOfTheLargestMember;
  table.UnlhaGetCRC = &CrcOfTheLargestMember;
  DeletingJob job(tmp.sjis("src/BIG.BIN"), tmp.sjis("out.lzh"), table);
  EXPECT_TRUE(CompressEntry(job.ctx));
  EXPECT_TRUE(job.port.notices().empty());
  EXPECT_FALSE(stdfs::exists(tmp.path() / "src/BIG.BIN"));
}

}  // namespace
}  // namespace vedo
