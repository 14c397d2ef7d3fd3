// CompressEntry with the product library: a wildcard compressed with its
// sources deleted must leave an archive that an independent reader accepts and
// that holds every deleted file, byte for byte.
#include "engine/compress_entry.h"

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/engine_context.h"
#include "engine/job_fields.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
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

class CompressEntryRealLibrary : public ::testing::TestWithParam<RealCase> {
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

  AppState state;
  state.JobDialogs = false;  // "-n": no progress window of the library's own
  PlainJobFields fields;
  fields.setSource(tmp.sjis(c.pattern));
  fields.setTarget(tmp.sjis(c.archive));
  fields.setDeleteAfter(true);
  test::ScriptedPort port(state);
  EngineContext ctx{state, fields, port, unlha32::Archiver()};

  EXPECT_TRUE(CompressEntry(ctx));
  EXPECT_TRUE(stubNotices.empty());
  EXPECT_TRUE(port.notices().empty());
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

  AppState state;
  state.JobDialogs = false;
  PlainJobFields fields;
  fields.setSource(tmp.sjis("src/*.TXT"));
  fields.setTarget(tmp.sjis("out.lzh"));
  fields.setDeleteAfter(true);
  test::ScriptedPort port(state);
  EngineContext ctx{state, fields, port, table};
  EXPECT_TRUE(CompressEntry(ctx));

  EXPECT_FALSE(stdfs::exists(tmp.path() / "src/A.TXT"));
  EXPECT_FALSE(stdfs::exists(tmp.path() / "src/C.TXT"));
  EXPECT_EQ(tmp.read("src/B.TXT"), "dropped by the archiver");
  const std::vector<test::PortEvent> notices = port.notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].text.find(tmp.sjis("src/B.TXT")), std::string::npos);
  EXPECT_TRUE(stubNotices.empty());

  unlha32::UnloadArchiver();
  unlha32::setNoticeHook(nullptr);
}

}  // namespace
}  // namespace vedo
