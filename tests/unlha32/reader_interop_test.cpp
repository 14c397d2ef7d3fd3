// Archives written by another LZH program (jlha, for each header level and
// method it writes) read by the library, checked against two independent
// readers: lhasa for the listing and the extracted files, bsdtar for the
// member names and bytes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <set>
#include <sstream>

#include "tests/support/temp_folder.h"
#include "tests/unlha32/unlha_test_support.h"

namespace unlha::test {
namespace {

using vedo::test::TempFolder;
namespace fs = std::filesystem;

struct Listed {
  std::uint64_t packed = 0;
  std::uint64_t original = 0;
  std::string method;
  unsigned crc = 0;
  bool operator==(const Listed&) const = default;
};

// `lhasa v`: the lines between the two dashed rules, read from their end
// (PACKED SIZE RATIO METHOD CRC STAMP(3) NAME); folders are left out.
std::map<std::string, Listed> lhasaListing(const std::string& archive) {
  std::map<std::string, Listed> out;
  std::istringstream in(shell("lhasa v '" + archive + "'").output);
  std::string line;
  int rules = 0;
  while (std::getline(in, line)) {
    if (line.starts_with("----")) {
      ++rules;
      continue;
    }
    if (rules != 1) continue;
    std::istringstream words(line);
    std::vector<std::string> t;
    for (std::string w; words >> w;) t.push_back(w);
    if (t.size() < 9) continue;
    const std::size_t n = t.size();
    if (t[n - 1].ends_with("/")) continue;
    out[t[n - 1]] = Listed{std::stoull(t[n - 9]), std::stoull(t[n - 8]), t[n - 6],
                           static_cast<unsigned>(std::stoul(t[n - 5], nullptr, 16))};
  }
  return out;
}

// The library's own view through the open-archive entries.
std::map<std::string, Listed> libraryListing(const std::string& archive) {
  std::map<std::string, Listed> out;
  const int h = UnlhaOpenArchive(nullptr, archive.c_str(), 0);
  if (h <= 0) return out;
  UnlhaMemberInfo info{};
  for (int rc = UnlhaFindFirst(h, "*", &info); rc == 0; rc = UnlhaFindNext(h, &info)) {
    if (std::string(info.method) == "-lhd-") continue;
    out[info.fileName] = Listed{static_cast<std::uint32_t>(UnlhaGetCompressedSize(h)),
                                static_cast<std::uint32_t>(UnlhaGetOriginalSize(h)), info.method, info.crc};
  }
  UnlhaCloseArchive(h);
  return out;
}

struct File {
  std::string bytes;
  std::int64_t mtime = 0;
  bool operator==(const File&) const = default;
};

std::map<std::string, File> files(const fs::path& root) {
  std::map<std::string, File> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    struct stat st {};
    ::stat(e.path().c_str(), &st);
    out[fs::relative(e.path(), root).string()] = File{readFile(e.path()), static_cast<std::int64_t>(st.st_mtime)};
  }
  return out;
}

std::set<std::string> bsdtarNames(const std::string& archive) {
  std::set<std::string> out;
  std::istringstream in(shell("bsdtar -tf '" + archive + "'").output);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && !line.ends_with("/")) out.insert(line);
  return out;
}

struct Variant {
  const char* label;
  const char* command;  // jlha's command and options
  const char* method;   // what its members with data that shrinks carry
};

class JlhaArchives : public ::testing::TestWithParam<Variant> {};

TEST_P(JlhaArchives, ReadLikeLhasaAndBsdtarReadThem) {
  if (shell("command -v jlha >/dev/null 2>&1").code != 0) GTEST_SKIP() << "jlha not installed";
  TempFolder dir;
  std::mt19937 rng(11);
  std::string random(5000, '\0');
  for (char& c : random) c = static_cast<char>(rng());
  std::string text;
  for (int i = 0; text.size() < 150000; ++i) text += "line " + std::to_string(i % 977) + " of the interop text\n";
  dir.write("src/text.txt", text);
  dir.write("src/random.bin", random);
  dir.write("src/empty.dat", "");
  dir.write("src/sub/inner.txt", text.substr(0, 7000));
  std::int64_t t = 1600000000;
  for (const char* f : {"src/text.txt", "src/random.bin", "src/empty.dat", "src/sub/inner.txt"}) {
    timespec ts[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
    ::utimensat(AT_FDCWD, dir.str(f).c_str(), ts, 0);
    t += 86400 * 31 + 7;
  }
  const std::string arc = dir.str("j.lzh");
  const Outcome made = shell("cd '" + dir.str("src") + "' && jlha " + GetParam().command +
                             " ../j.lzh text.txt random.bin empty.dat sub/inner.txt >/dev/null 2>&1");
  ASSERT_EQ(made.code, 0);
  const std::string arcSj = *vedo::cp932::fromUtf8(arc);

  const std::map<std::string, Listed> ours = libraryListing(arcSj);
  EXPECT_EQ(ours, lhasaListing(arc));
  ASSERT_EQ(ours.size(), 4u);
  EXPECT_EQ(ours.at("text.txt").method, GetParam().method);
  std::set<std::string> names;
  for (const auto& [name, l] : ours) names.insert(name);
  EXPECT_EQ(names, bsdtarNames(arc));

  Outcome r = unlha("t -n \"" + arc + "\"");
  EXPECT_EQ(r.code, 0) << r.output;
  r = unlha("x -n \"" + arc + "\" \"" + dir.str("ours") + "/\"");
  ASSERT_EQ(r.code, 0) << r.output;
  fs::create_directories(dir.path() / "lhasa");
  ASSERT_EQ(shell("cd '" + dir.str("lhasa") + "' && lhasa xq ../j.lzh").code, 0);
  fs::create_directories(dir.path() / "bsdtar");
  ASSERT_EQ(shell("cd '" + dir.str("bsdtar") + "' && bsdtar -xf ../j.lzh").code, 0);

  const std::map<std::string, File> extracted = files(dir.path() / "ours");
  EXPECT_EQ(extracted, files(dir.path() / "lhasa"));  // bytes and times
  const std::map<std::string, File> source = files(dir.path() / "src");
  ASSERT_EQ(extracted.size(), source.size());
  for (const auto& [name, f] : source) {
    EXPECT_EQ(extracted.at(name).bytes, f.bytes) << name;
    EXPECT_EQ(readFile(dir.path() / "bsdtar" / name), f.bytes) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, JlhaArchives,
    ::testing::Values(Variant{"Level0Lh5", "a0", "-lh5-"}, Variant{"Level1Lh5", "a1", "-lh5-"},
                      Variant{"Level2Lh5", "a2", "-lh5-"}, Variant{"Level2Lh6", "a2o6", "-lh6-"},
                      Variant{"Level1Lh7", "a1o7", "-lh7-"}, Variant{"Level2Stored", "a2z", "-lh0-"}),
    [](const auto& info) { return std::string(info.param.label); });

// A folder member (-lhd-) made by jlha becomes a folder.
TEST(JlhaFolders, FolderMembersBecomeFolders) {
  if (shell("command -v jlha >/dev/null 2>&1").code != 0) GTEST_SKIP() << "jlha not installed";
  TempFolder dir;
  dir.write("src/sub/deeper/f.txt", "in a folder");
  ASSERT_EQ(shell("cd '" + dir.str("src") + "' && jlha a2 ../d.lzh sub >/dev/null 2>&1").code, 0);
  const int h = UnlhaOpenArchive(nullptr, dir.sjis("d.lzh").c_str(), 0);
  ASSERT_GT(h, 0);
  ASSERT_EQ(UnlhaFindFirst(h, "sub", nullptr), 0);
  EXPECT_EQ(UnlhaGetAttribute(h) & 0x10, 0x10);
  UnlhaCloseArchive(h);
  const Outcome r = unlha("x -n \"" + dir.str("d.lzh") + "\" \"" + dir.str("out") + "/\"");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(fs::is_directory(dir.path() / "out/sub/deeper"));
  EXPECT_EQ(dir.read("out/sub/deeper/f.txt"), "in a folder");
}


// The older methods, which jlha's library writes (JlhaWrite.java) but not its
// command: the library lists such archives as lhasa does, and tests and
// extracts them to the bytes that went in.
struct OlderMethod {
  const char* label;
  const char* method;
  const char* level;
};

class JlhaOlderMethods : public ::testing::TestWithParam<OlderMethod> {};

TEST_P(JlhaOlderMethods, ListTestAndExtract) {
  if (shell("command -v java >/dev/null 2>&1 && test -f /usr/share/java/jlha.jar").code != 0)
    GTEST_SKIP() << "java or jlha's library missing";
  TempFolder dir;
  std::string text;
  for (int i = 0; text.size() < 60000; ++i) text += "row " + std::to_string(i * 7 % 1013) + " of the older methods\n";
  dir.write("src/text.txt", text);
  dir.write("src/sub/short.txt", text.substr(0, 900));
  std::string command = std::string("java -cp /usr/share/java/jlha.jar '") + VEDO_JLHA_WRITER + "' '" + dir.str("j.lzh") + "'";
  for (const char* f : {"src/text.txt", "src/sub/short.txt"})
    command += std::string(" ") + GetParam().method + " " + GetParam().level + " '" + dir.str(f) + "'";
  ASSERT_EQ(shell(command + " >/dev/null 2>&1").code, 0) << command;
  const std::string arc = dir.str("j.lzh");

  const std::map<std::string, Listed> ours = libraryListing(*vedo::cp932::fromUtf8(arc));
  EXPECT_EQ(ours, lhasaListing(arc));
  ASSERT_EQ(ours.size(), 2u);
  EXPECT_EQ(ours.at("text.txt").method, GetParam().method);
  Outcome r = unlha("t -n \"" + arc + "\"");
  EXPECT_EQ(r.code, 0) << r.output;
  r = unlha("x -n \"" + arc + "\" \"" + dir.str("ours") + "/\"");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(readFile(dir.path() / "ours" / "text.txt"), text);
  EXPECT_EQ(readFile(dir.path() / "ours" / "short.txt"), text.substr(0, 900));
}

INSTANTIATE_TEST_SUITE_P(Methods, JlhaOlderMethods,
                         ::testing::Values(OlderMethod{"Level0Lh1", "-lh1-", "0"}, OlderMethod{"Level1Lh2", "-lh2-", "1"},
                                           OlderMethod{"Level2Lh3", "-lh3-", "2"}, OlderMethod{"Level2Lzs", "-lzs-", "2"},
                                           OlderMethod{"Level1Lz5", "-lz5-", "1"}),
                         [](const auto& info) { return std::string(info.param.label); });

// Archives of historic writers (one per older method, stored or not): `unlha t`
// passes every member, or names the LHARK variant of -lh7- as not read.
struct Sample {
  const char* path;  // under the samples folder
  int code;          // of `unlha t`
  const char* says;  // in its output
};

class SampleArchives : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleArchives, TestAsExpected) {
  const fs::path archive = fs::path(VEDO_LZH_SAMPLES_DIR) / GetParam().path;
  if (!fs::exists(archive)) GTEST_SKIP() << archive << " missing";
  const Outcome r = unlha("t \"" + archive.string() + "\"");
  EXPECT_EQ(r.code, GetParam().code) << r.output;
  EXPECT_NE(r.output.find(GetParam().says), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleArchives,
    ::testing::Values(Sample{"generated/lzs/lzs.lzs", 0, "1 member(s) OK"}, Sample{"larc333/lz5.lzs", 0, "1 member(s) OK"},
                      Sample{"lengths/lh1-0.lzh", 0, "1 member(s) OK"}, Sample{"pmarc2/pm0.pma", 0, "1 member(s) OK"},
                      Sample{"lhark04d/lh7.lzh", UNLHA_ERROR_NOT_SUPPORTED, "variant this library does not read"}));

}  // namespace
}  // namespace unlha::test
