// Archives written by the library, read back by four independent LZH readers:
// lhasa, 7-Zip, bsdtar and jlha. Each reader must see every member, with the
// bytes (and, where it extracts to disk, the modification time) of the source.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "tests/support/temp_folder.h"
#include "tests/unlha32/unlha_test_support.h"

namespace unlha::test {
namespace {

using vedo::test::TempFolder;
namespace fs = std::filesystem;

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Text with words from a small vocabulary: matches at every distance.
std::string text(std::size_t n, unsigned seed) {
  static const char* words[] = {"archive", "member", "header", "window", "the", "of", "and",
                                "compress", "table", "code", "length", "bits", "\n"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += std::string(words[rng() % 13]) + " ";
  s.resize(n);
  return s;
}

// 1 KiB blocks drawn from a pool of 200 random ones: repeats lie far apart, so
// much of what can be found lies beyond a small window.
std::string farRepeats(std::size_t n, unsigned seed) {
  std::vector<std::string> pool;
  for (unsigned i = 0; i < 200; ++i) pool.push_back(randomBytes(1024, seed + i));
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += pool[rng() % pool.size()] + text(rng() % 512, rng());
  s.resize(n);
  return s;
}

std::string runs(std::size_t n) {
  std::string s;
  for (std::size_t len = 1; s.size() < n; len = len * 3 % 7919 + 1) s += std::string(len, static_cast<char>('a' + len % 26));
  s += std::string(100000, '\0');
  return s;
}

std::string systemBinary() {
  for (const char* p : {"/usr/bin/ls", "/bin/sh"})
    if (fs::exists(p)) return readFile(p);
  return randomBytes(1000, 1);
}

// A stored path of `length` bytes, in folders of its own when `inFolder`.
std::string pathOfLength(std::size_t length, bool inFolder) {
  std::string path = inFolder ? "d" + std::to_string(length) + "/" : "f" + std::to_string(length) + "-";
  while (inFolder && length - path.size() > 200) path += std::string(199, 'p') + "/";
  path += std::string(length - path.size(), 'n');
  return path;
}

// Names relative to the sources folder (UTF-8) and their bytes.
std::map<std::string, std::string> corpus() {
  std::map<std::string, std::string> files = {
      {"empty.dat", ""},
      {"one.dat", "Z"},
      {"text.txt", text(60000, 1)},
      {"system.bin", systemBinary()},
      {"random.bin", randomBytes(128 << 10, 2)},
      {"runs.bin", runs(200000)},
      {"far.bin", farRepeats(2300000, 3)},  // streamed (not compressed ahead), in three runs
      {"表ソボ.txt", "表ソボ: 0x5C and 0x7B as second bytes\n"},
      {"sub/ソ/ボ.bin", text(3000, 4)},
      {"sub/deeper/x.txt", text(70000, 5)},
  };
  // Stored paths around every length at which a level-2 header's natural size
  // is a multiple of 256 (207 + 256k bytes with folders, 210 without; a name
  // alone cannot pass 255 bytes), up to what the file system can hold.
  for (std::size_t length = 207; length < 3800; length += 256)
    for (std::size_t l = length - 1; l <= length + 1; ++l) files[pathOfLength(l, true)] = "at " + std::to_string(l);
  for (std::size_t l = 209; l <= 211; ++l) files[pathOfLength(l, false)] = "at " + std::to_string(l);
  return files;
}

class Interop : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::int64_t mtime = 1500000000;
    for (const auto& [name, bytes] : corpus()) {
      const fs::path p = dir.write("src/" + name, bytes);
      const timespec times[2] = {{mtime, 0}, {mtime, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
      expected[name] = TreeFile{bytes, mtime};
      mtime += 3601;
    }
    archive = dir.str("arc.lzh");
    const Outcome r = unlha(std::string("a -n ") + GetParam() + " -r \"" + archive + "\"  \"" + dir.str("src") + "/*\"");
    ASSERT_EQ(r.code, 0) << r.output;
  }

  // Compares an extracted tree with the sources; returns what differs.
  std::string differences(const std::map<std::string, TreeFile>& got, bool checkTimes) {
    std::string diff;
    for (const auto& [name, file] : expected) {
      const auto it = got.find(name);
      if (it == got.end()) {
        diff += "missing " + name + "\n";
        continue;
      }
      if (it->second.bytes != file.bytes) diff += "bytes differ: " + name + "\n";
      if (checkTimes && it->second.mtime != file.mtime) diff += "time differs: " + name + "\n";
    }
    for (const auto& [name, file] : got)
      if (!expected.count(name)) diff += "unexpected " + name + "\n";
    return diff;
  }

  // Members in archive order, as bsdtar lists them (UTF-8 names).
  std::vector<std::string> listing() {
    const Outcome r = shell("bsdtar --options hdrcharset=CP932 -tf '" + archive + "'");
    EXPECT_EQ(r.code, 0);
    std::vector<std::string> names;
    std::size_t start = 0;
    for (std::size_t nl; (nl = r.output.find('\n', start)) != std::string::npos; start = nl + 1)
      names.push_back(r.output.substr(start, nl - start));
    return names;
  }

  std::string concatenated(const std::vector<std::string>& order) {
    std::string all;
    for (const std::string& name : order) all += expected.at(name).bytes;
    return all;
  }

  TempFolder dir;
  std::string archive;
  std::map<std::string, TreeFile> expected;
};

TEST_P(Interop, LhasaTestsAndExtractsEveryMember) {
  const Outcome t = shell("lhasa t '" + archive + "' 2>&1");
  EXPECT_EQ(t.code, 0) << t.output;
  std::size_t tested = 0;
  for (std::size_t at = 0; (at = t.output.find("- Tested", at)) != std::string::npos; ++at) ++tested;
  EXPECT_EQ(tested, expected.size()) << t.output;

  fs::create_directory(dir.path() / "lhasa");
  const Outcome x = shell("cd '" + dir.str("lhasa") + "' && lhasa xq '" + archive + "' 2>&1");
  ASSERT_EQ(x.code, 0) << x.output;
  EXPECT_EQ(differences(readTree(dir.path() / "lhasa"), true), "");
}

TEST_P(Interop, JlhaTestsAndExtractsEveryMember) {
  if (shell("command -v jlha >/dev/null 2>&1").code != 0) GTEST_SKIP() << "jlha not installed";
  const Outcome t = shell("jlha t '" + archive + "' 2>&1");
  EXPECT_EQ(t.code, 0) << t.output;
  std::size_t tested = 0;
  for (std::size_t at = 0; (at = t.output.find("- Tested", at)) != std::string::npos; ++at) ++tested;
  EXPECT_EQ(tested, expected.size()) << t.output;

  // jlha spells double-byte CP932 names its own way, so only ASCII names are
  // compared by name; every member must still come out.
  fs::create_directory(dir.path() / "jlha");
  const Outcome x = shell("cd '" + dir.str("jlha") + "' && jlha xq '" + archive + "' 2>&1");
  ASSERT_EQ(x.code, 0) << x.output;
  const std::map<std::string, TreeFile> got = readTree(dir.path() / "jlha");
  EXPECT_EQ(got.size(), expected.size());
  auto ascii = [](const std::string& s) { return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }); };
  for (const auto& [name, file] : expected) {
    if (!ascii(name)) continue;
    const auto it = got.find(name);
    EXPECT_TRUE(it != got.end() && it->second.bytes == file.bytes) << name;
  }
}

TEST_P(Interop, BsdtarListsAndExtractsEveryMember) {
  const std::vector<std::string> names = listing();
  EXPECT_EQ(names.size(), expected.size());
  const Outcome all = shell("bsdtar --options hdrcharset=CP932 -xOf '" + archive + "'");
  EXPECT_EQ(all.code, 0);
  EXPECT_TRUE(all.output == concatenated(names)) << "member bytes differ";

  fs::create_directory(dir.path() / "bsdtar");
  const Outcome x = shell("bsdtar --options hdrcharset=CP932 -xf '" + archive + "' -C '" + dir.str("bsdtar") + "' 2>&1");
  ASSERT_EQ(x.code, 0) << x.output;
  EXPECT_EQ(differences(readTree(dir.path() / "bsdtar"), true), "");
}

TEST_P(Interop, SevenZipTestsEveryMember) {
  // 7-Zip splits names at a 0x5C byte even where it is the second byte of a
  // double-byte character, so its names are not compared; count and bytes are.
  const std::string seven = sevenZip();
  const Outcome t = shell(seven + " t '" + archive + "'");
  EXPECT_EQ(t.code, 0) << t.output;
  EXPECT_NE(t.output.find("Everything is Ok"), std::string::npos) << t.output;
  EXPECT_NE(t.output.find("Files: " + std::to_string(expected.size()) + "\n"), std::string::npos) << t.output;
  const Outcome all = shell(seven + " x -so '" + archive + "' 2>/dev/null");
  EXPECT_EQ(all.code, 0);
  EXPECT_TRUE(all.output == concatenated(listing())) << "member bytes differ";
}

TEST_P(Interop, CompressibleMembersUseTheMethodAndTheRestAreStored) {
  const std::string method = std::string("-lh") + GetParam()[2] + "-";
  std::map<std::string, std::string> methods;
  for (const MemberInfo& m : readMembers(archive)) methods[*vedo::cp932::toUtf8(m.path)] = m.method;
  ASSERT_EQ(methods.size(), expected.size());
  EXPECT_EQ(methods["text.txt"], method);
  EXPECT_EQ(methods["far.bin"], method);
  EXPECT_EQ(methods["sub/deeper/x.txt"], method);
  EXPECT_EQ(methods["random.bin"], "-lh0-");
  EXPECT_EQ(methods["empty.dat"], "-lh0-");
  EXPECT_EQ(methods["one.dat"], "-lh0-");
}

INSTANTIATE_TEST_SUITE_P(Methods, Interop, ::testing::Values("-m0", "-m5", "-m6", "-m7"),
                         [](const auto& info) { return std::string(info.param).substr(1); });

}  // namespace
}  // namespace unlha::test
