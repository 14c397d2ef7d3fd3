// Archives written by other LZH programs over the years (the sample set in
// the shared data folder), each listed, tested and extracted by the library
// and compared with the facts another reader found in them: names, sizes,
// times and CRCs of the members, and the bytes extracted.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <optional>

#include "tests/support/temp_folder.h"
#include "tests/unlha32/unlha_test_support.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha::test {
namespace {

using vedo::test::TempFolder;
namespace fs = std::filesystem;

const fs::path kSamples = VEDO_LZH_SAMPLES_DIR;

enum class Kind { File, Folder, Link };

struct Member {
  const char* name;     // as the library names it (stored case, "/" between folders)
  std::uint32_t size;   // original size in the header
  unsigned crc;         // CRC-16 in the header
  std::optional<std::int64_t> time;  // modification time; none for a DOS date of 0
  Kind kind = Kind::File;
  // What x makes of it, where that differs from the name, size and CRC above.
  const char* extractedAs = nullptr;  // path below the target folder; a link's target for Kind::Link
  std::uint32_t extractedSize = 0;
  unsigned extractedCrc = 0;
};

struct Sample {
  const char* label;
  const char* archive;  // below kSamples
  // For a method the library does not decode: what `t` says when it refuses
  // it (listing and headers are still checked); null for one it decodes.
  const char* refusal;
  const char* method;              // the first member's method id
  std::size_t members;             // all members of the archive
  std::vector<Member> checked;     // the first members, in archive order
};

constexpr unsigned kGpl2Crc = 0xA33A;

const Sample kSampleTable[] = {
    {"SelfExtracting", "explzh_723/declha_sfx_ansi.exe", nullptr, "-lh5-", 1, {{"gpl-2", 18092, kGpl2Crc, 1262307600}}},
    {"Lzs", "generated/lzs/lzs.lzs", nullptr, "-lzs-", 1, {{"GPL-2", 18092, kGpl2Crc, 1273184274}}},
    {"Pm1", "generated/pm1/pm1.pma", "-pm1- is not supported", "-pm1-", 32,
     {{"DATA_00.BIN", 32768, 0x2d48, std::nullopt}, {"DATA_01.BIN", 32768, 0x9395, std::nullopt},
      {"DATA_02.BIN", 32768, 0xf8fd, std::nullopt}, {"DATA_03.BIN", 32768, 0xfaa8, std::nullopt},
      {"DATA_04.BIN", 32768, 0x5424, std::nullopt}}},
    {"Lz5", "larc333/lz5.lzs", nullptr, "-lz5-", 1, {{"GPL-2", 18092, kGpl2Crc, 1273184274}}},
    {"Lh1Empty", "lengths/lh1-0.lzh", nullptr, "-lh1-", 1, {{"0.bin", 0, 0, 1309716335}}},
    {"NamelessFoldersAmiga", "lha_amiga_122/lh0_dirs_bug.lzh", nullptr, "-lh0-", 5,
     {{"MainDir/00_File.txt", 6, 0x348a, 1641934778},
      {"MainDir/01_Dir/File01.txt", 6, 0x348a, 1641934778},
      {"MainDir/02_EmptyDir/", 0, 0, 1641934718, Kind::Folder},
      {"MainDir/03_Dir/File01.txt", 6, 0x348a, 1641934778},
      {"MainDir/04_File.txt", 6, 0x348a, 1641934778}}},
    {"Level3", "lha_os2_208/h3_lh5.lzh", nullptr, "-lh5-", 1, {{"GPL-2", 18092, kGpl2Crc, 1322947746}}},
    {"Os9Level0", "lha_osk_201/h0_lh5.lzh", nullptr, "-lh5-", 1, {{"gpl-2", 18092, kGpl2Crc, 1262325600}}},
    {"Os9Level1", "lha_osk_201/h1_lh5.lzh", nullptr, "-lh5-", 1, {{"gpl-2", 18092, kGpl2Crc, 1262325600}}},
    {"Os9Level2ShortSize", "lha_osk_201/h2_lh5.lzh", nullptr, "-lh5-", 1, {{"gpl-2", 18092, kGpl2Crc, 1262325600}}},
    {"NamelessFolders", "lha_unix114i/h0_subdir.lzh", nullptr, "-lhd-", 3,
     {{"", 0, 0, 1335295879, Kind::Folder},
      {"", 0, 0, 1335295879, Kind::Folder},
      {"hello.txt", 12, 0x9778, 1262304000}}},
    {"Symlink", "lha_unix114i/h1_symlink.lzh", nullptr, "-lhd-", 1, {{"symlink", 0, 0, 1262304000, Kind::Link, "target"}}},
    {"LharkLh7", "lhark04d/lh7.lzh", "variant this library does not read", "-lh7-", 1, {{"GPL-2", 18092, kGpl2Crc, 1262304000}}},
    {"LeadingSlash", "lhmelt_16536/h2_subdir.lzh", nullptr, "-lh0-", 2,
     {{"subdir/subdir2/hello.txt", 12, 0x9778, 1262304000},
      {"subdir/subdir2/", 0, 0, 946684800, Kind::Folder}}},
    {"MacBinary", "maclha_224/l1_lh5.lzh", nullptr, "-lh5-", 1,
     {{"gpl-2", 18304, 0x12dd, 1334678218, Kind::File, "gpl-2", 18092, kGpl2Crc}}},
    {"CommentAfterNul", "morphos_lha_2717/h0_metadata.lzh", nullptr, "-lh0-", 1, {{"metadata.txt", 29, 0xd1b8, 1751499212}}},
    {"Pm0NoDate", "pmarc2/pm0.pma", nullptr, "-pm0-", 1, {{"GPL-2.GZ", 6912, 0x39cc, std::nullopt}}},
    {"Pm2", "pmarc2/pm2.pma", "-pm2- is not supported", "-pm2-", 1, {{"GPL-2.", 18176, 0x83cd, std::nullopt}}},
    {"ControlCharacters", "regression/badterm.lzh", nullptr, "-lh1-", 1,
     {{"tmp/\x1b]2;malicious\x07\n", 0, 0, 1333660220}}},
    {"DotDot", "regression/dotdot.lzh", nullptr, "-lh0-", 2,
     {{"../evil1.txt", 13, 0x3ad2, 1359490728, Kind::File, "evil1.txt", 13, 0x3ad2},
      {"foo/../../evil2.txt", 18, 0x3d30, 1359490835, Kind::File, "foo/evil2.txt", 18, 0x3d30}}},
};

// Output meant for a terminal holds no control character but line ends.
bool printable(const std::string& text) {
  for (const char c : text)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) return false;
  return true;
}

class SampleArchives : public ::testing::TestWithParam<Sample> {
 protected:
  // The expected times are those of the other reader, made in this zone;
  // the times of members stored as MS-DOS local time depend on it.
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) previous_ = tz;
    // London's rules written out, so no time-zone database is needed.
    ::setenv("TZ", "GMT0BST,M3.5.0/1,M10.5.0", 1);
    ::tzset();
  }
  void TearDown() override {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> previous_;
};

TEST_P(SampleArchives, ListTestAndExtractGiveTheFactsAnotherReaderFound) {
  const Sample& s = GetParam();
  const std::string archive = (kSamples / s.archive).string();
  if (!fs::exists(kSamples)) GTEST_SKIP() << "sample set not present: " << kSamples;
  ASSERT_TRUE(fs::exists(archive)) << archive;
  TempFolder dir;
  const std::int64_t started = std::time(nullptr);

  // Headers through the reading entries.
  const int h = UnlhaOpenArchive(nullptr, archive.c_str(), 0);
  ASSERT_GT(h, 0);
  UnlhaMemberInfo info{};
  std::size_t count = 0;
  for (int rc = UnlhaFindFirst(h, "*", &info); rc == 0; rc = UnlhaFindNext(h, &info), ++count) {
    if (count >= s.checked.size()) continue;
    const Member& m = s.checked[count];
    SCOPED_TRACE(count);
    char name[600] = {};
    ASSERT_EQ(UnlhaGetFileName(h, name, sizeof name), 0);
    EXPECT_EQ(std::string(name), m.name);
    EXPECT_EQ(UnlhaGetOriginalSize(h), static_cast<int>(m.size));
    EXPECT_EQ(UnlhaGetCRC(h), static_cast<int>(m.crc));
    EXPECT_EQ(UnlhaGetWriteTime(h), m.time ? static_cast<int>(*m.time) : -1);
    EXPECT_EQ((UnlhaGetAttribute(h) & 0x10) != 0, m.kind == Kind::Folder);
    if (count == 0) {
      char method[8] = {};
      ASSERT_EQ(UnlhaGetMethod(h, method, sizeof method), 0);
      EXPECT_EQ(std::string(method), s.method);
    }
  }
  EXPECT_EQ(count, s.members);
  UnlhaCloseArchive(h);

  const Outcome l = unlha("l -n \"" + archive + "\"");
  EXPECT_EQ(l.code, 0) << l.output;
  EXPECT_TRUE(printable(l.output)) << l.output;
  EXPECT_NE(l.output.find(std::to_string(s.members) + " file(s)"), std::string::npos) << l.output;

  const Outcome t = unlha("t -n \"" + archive + "\"");
  EXPECT_TRUE(printable(t.output)) << t.output;
  const Outcome x = unlha("x -n \"" + archive + "\" \"" + dir.str("out") + "/\"");
  EXPECT_TRUE(printable(x.output)) << x.output;
  if (s.refusal) {
    EXPECT_EQ(t.code, UNLHA_ERROR_NOT_SUPPORTED) << t.output;
    EXPECT_NE(t.output.find(s.refusal), std::string::npos) << t.output;
    return;
  }
  EXPECT_EQ(t.code, 0) << t.output;
  EXPECT_NE(t.output.find(std::to_string(s.members) + " member(s) OK"), std::string::npos) << t.output;
  ASSERT_EQ(x.code, 0) << x.output;

  // Members beyond the checked ones are files.
  std::size_t files = s.members;
  for (const Member& m : s.checked) {
    SCOPED_TRACE(m.name);
    if (m.kind == Kind::Folder) {
      --files;
      if (*m.name != '\0') {
        EXPECT_TRUE(fs::is_directory(dir.path() / "out" / m.name));
      }
      continue;
    }
    if (m.kind == Kind::Link) {
      const fs::path link = dir.path() / "out" / m.name;
      ASSERT_TRUE(fs::is_symlink(link));
      EXPECT_EQ(fs::read_symlink(link).string(), m.extractedAs);
      continue;
    }
    const fs::path out = dir.path() / "out" / (m.extractedAs ? m.extractedAs : m.name);
    const std::string bytes = readFile(out);
    const std::uint32_t size = m.extractedAs ? m.extractedSize : m.size;
    const unsigned crc = m.extractedAs ? m.extractedCrc : m.crc;
    EXPECT_EQ(bytes.size(), size);
    EXPECT_EQ(lzh::crc16(0, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())), crc);
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRUSR, 0u);  // permission bits of other systems never lock the owner out
    if (m.time) {
      EXPECT_EQ(st.st_mtime, *m.time);
    } else {
      EXPECT_GE(st.st_mtime, started);  // no time stored: the time of extraction
    }
  }
  // Nothing beside what the members make, nothing outside the target folder.
  std::size_t made = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir.path() / "out"))
    made += e.is_regular_file() || e.is_symlink();
  EXPECT_EQ(made, files);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleArchives, ::testing::ValuesIn(kSampleTable),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace unlha::test
