// Names that CP932 cannot hold, or that do not come back the same from a
// round trip, beside tripwire files named as such a name would turn into
// ("?" substituted, or the other character of a pair that maps to one code):
// the name is refused, no tripwire is touched, and files with such names are
// invisible to a wildcard (neither stored nor deleted).
#include <gtest/gtest.h>

#include <algorithm>

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/compress_entry.h"
#include "engine/engine_context.h"
#include "engine/job_fields.h"
#include "tests/fault/fault_support.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

constexpr const char* kTripwire = "tripwire: must stay as it is";

// UTF-8 names with no exact CP932 form: WAVE DASH (CP932 holds only the
// fullwidth tilde for it), an emoji, a Latin letter with an accent, and
// DOUBLE VERTICAL LINE (CP932 has the parallel sign instead).
const char* const kUnholdable[] = {"a\u301c.txt", "a\U0001F600.txt", "a\u00e9.txt", "a\u2016.txt"};

class HostileName : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  }
  void tripwire(const std::string& name) { writeBytes(tmp_.path() / name, kTripwire); }
  void expectTripwire(const std::string& name) {
    EXPECT_EQ(readBytes(tmp_.path() / name), kTripwire) << name;
  }
  test::TempFolder tmp_;
};

TEST_F(HostileName, FrontEndRefusesSourcesAndArchivesCp932CannotHold) {
  tripwire("a?.txt");
  tripwire("x?.lzh");
  writeBytes(tmp_.path() / "b.txt", "plain\n");
  for (const char* name : kUnholdable) {
    SCOPED_TRACE(name);
    writeBytes(tmp_.path() / name, "unholdable\n");
    EXPECT_NE(run({unlhaProgram().string(), "a", "-n", "out.lzh", name}, inFolder(tmp_.path())).code, 0);
    EXPECT_FALSE(stdfs::exists(tmp_.path() / "out.lzh"));

    const std::string archive = std::string("x") + (name + 1);  // same odd character, ".lzh" below
    const std::string archiveName = archive.substr(0, archive.size() - 4) + ".lzh";
    EXPECT_NE(run({unlhaProgram().string(), "a", "-n", archiveName, "b.txt"}, inFolder(tmp_.path())).code, 0);
    EXPECT_FALSE(stdfs::exists(tmp_.path() / archiveName));
    EXPECT_EQ(readBytes(tmp_.path() / name), "unholdable\n");
  }
  expectTripwire("a?.txt");
  expectTripwire("x?.lzh");
  EXPECT_EQ(readBytes(tmp_.path() / "b.txt"), "plain\n");
}

TEST_F(HostileName, WildcardNeitherStoresNorDeletesFilesCp932CannotName) {
  std::vector<std::string> odd(std::begin(kUnholdable), std::end(kUnholdable));
  odd.push_back("bad\xff\xfe.txt");  // not even UTF-8
  for (const std::string& name : odd) writeBytes(tmp_.path() / name, "odd\n");
  writeBytes(tmp_.path() / "n.txt", "normal\n");
  const RunResult r = run({probeProgram("fault_compress_probe").string(), libraryPath().string(), "*.txt", "out.lzh"},
                          inFolder(tmp_.path()));
  EXPECT_EQ(r.code, 0);
  const auto members = memberNames(tmp_.path() / "out.lzh");
  ASSERT_TRUE(members);
  EXPECT_EQ(*members, std::vector<std::string>{"n.txt"});
  EXPECT_FALSE(stdfs::exists(tmp_.path() / "n.txt"));
  for (const std::string& name : odd) EXPECT_EQ(readBytes(tmp_.path() / name), "odd\n") << name;
}

// CP932 byte strings that name no file exactly: codes that the conversion
// maps onto another code's character (an IBM extension duplicated in the NEC
// rows, a NEC symbol duplicated in the JIS rows) and a lone lead byte. The
// tripwires are the files such a name would reach if converted loosely.
TEST_F(HostileName, CompressEntryRefusesCp932ThatDoesNotRoundTrip) {
  const std::string library = libraryPath().string();
  ASSERT_TRUE(stdfs::exists(library));
  unlha32::setNoticeHook([](const std::string&) {});
  unlha32::LoadArchiver(library.c_str());
  ASSERT_TRUE(unlha32::ArchiverLoaded());

  struct Case {
    std::string source;   // CP932
    std::string reached;  // UTF-8 name of the file a loose conversion would reach
  } cases[] = {
      {"a\xED\x40.txt", "a\u7e8a.txt"},  // 0xED40 comes back as 0xFA5C
      {"a\x87\x90.txt", "a\u2252.txt"},  // NEC row 13 "≒" comes back as 0x81E0
      {"a\x82.txt", "a?.txt"},           // a lead byte with no trail byte
  };
  tripwire("a?.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reached);
    tripwire(c.reached);
    AppState state;
    state.JobDialogs = false;
    PlainJobFields fields;
    fields.setSource(sjis(tmp_.str()) + "/" + c.source);
    fields.setTarget(sjis(tmp_.str("out.lzh")));
    fields.setDeleteAfter(true);
    test::ScriptedPort port(state);
    EngineContext ctx{state, fields, port, unlha32::Archiver()};
    EXPECT_FALSE(CompressEntry(ctx));
    EXPECT_FALSE(stdfs::exists(tmp_.path() / "out.lzh"));
    expectTripwire(c.reached);
    // The archive name too.
    fields.setSource(sjis(tmp_.str("a?.txt")));
    fields.setTarget(sjis(tmp_.str()) + "/" + c.source);
    EXPECT_FALSE(CompressEntry(ctx));
    expectTripwire(c.reached);
  }
  expectTripwire("a?.txt");
  unlha32::UnloadArchiver();
  unlha32::setNoticeHook(nullptr);
}

}  // namespace
}  // namespace vedo::fault
