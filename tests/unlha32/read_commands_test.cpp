// The reading side of the library through its C entries: what the writer
// makes reads back equal, the open-archive entries describe each member, a
// damaged or hostile archive is refused without harm, and extraction never
// writes outside its folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>

#include "tests/support/temp_folder.h"
#include "tests/unlha32/unlha_test_support.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha::test {
namespace {

using vedo::test::sj;
using vedo::test::TempFolder;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string words(std::size_t n, unsigned seed) {
  static const char* w[] = {"read", "member", "header", "extract", "the", "folder", "\n"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += std::string(w[rng() % 7]) + " ";
  s.resize(n);
  return s;
}

std::uint16_t crcOf(std::string_view data) {
  return lzh::crc16(0, std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

struct Entry {
  std::string bytes;
  std::int64_t mtime = 0;
  unsigned mode = 0;
  bool operator==(const Entry&) const = default;
};

// Every regular file under `root` by relative UTF-8 path, with its permissions.
std::map<std::string, Entry> tree(const fs::path& root) {
  std::map<std::string, Entry> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    struct stat st {};
    ::stat(e.path().c_str(), &st);
    out[fs::relative(e.path(), root).string()] =
        Entry{readFile(e.path()), static_cast<std::int64_t>(st.st_mtime), static_cast<unsigned>(st.st_mode & 07777)};
  }
  return out;
}

void setTime(const fs::path& p, std::int64_t t) {
  timespec ts[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
  ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
}

// A level-2 member stored as it is, by the library's own header writer.
Bytes storedMember(const std::string& path, const std::string& data, std::uint16_t mode = 0100644) {
  NewMemberHeader h;
  h.path = path;
  h.packedSize = h.originalSize = static_cast<std::uint32_t>(data.size());
  h.mtime = 1500000000;
  h.unixMode = mode;
  h.crc = crcOf(data);
  Bytes b = buildLevel2Header(h);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// A level-0 member made by hand: base header with the name as given (so it
// may hold "\" or a leading "/"), stored data.
Bytes level0Member(const std::string& name, const std::string& data) {
  Bytes h(22, 0);
  const char* method = "-lh0-";
  std::copy(method, method + 5, h.begin() + 2);
  for (int i = 0; i < 4; ++i) h[7 + i] = h[11 + i] = static_cast<std::uint8_t>(data.size() >> (8 * i));
  h[15] = 0x00; h[16] = 0x60; h[17] = 0x21; h[18] = 0x4A;  // 2017-01-01 12:00:00 (MS-DOS)
  h[19] = 0x20;
  h[21] = static_cast<std::uint8_t>(name.size());
  h.insert(h.end(), name.begin(), name.end());
  const std::uint16_t crc = crcOf(data);
  h.push_back(static_cast<std::uint8_t>(crc));
  h.push_back(static_cast<std::uint8_t>(crc >> 8));
  unlha::test::sealOldHeader(h);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

void writeArchive(const fs::path& p, const std::vector<Bytes>& members) {
  std::string all;
  for (const Bytes& m : members) all.append(m.begin(), m.end());
  all.push_back('\0');
  std::ofstream(p, std::ios::binary).write(all.data(), static_cast<std::streamsize>(all.size()));
}

std::string quoted(const std::string& utf8) { return "\"" + utf8 + "\""; }

class Reading : public ::testing::Test {
 protected:
  TempFolder dir;
};

// ---- round trips ----------------------------------------------------------

class RoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, WhatTheWriterMakesExtractsWithEqualBytesTimesAndModes) {
  TempFolder dir;
  const std::map<std::string, std::pair<std::string, unsigned>> files = {
      {"src/empty.dat", {"", 0644}},
      {"src/one.dat", {"Z", 0600}},
      {"src/text.txt", {words(90000, 1), 0644}},
      {"src/random.bin", {randomBytes(70000, 2), 0755}},
      {"src/表ソボ.txt", {"0x5C and 0x7B as second bytes", 0640}},
      {"src/sub/ソ/deep.txt", {words(5000, 3), 0444}},
  };
  std::int64_t t = 1600000000;
  for (const auto& [name, content] : files) {
    const fs::path p = dir.write(name, content.first);
    fs::permissions(p, static_cast<fs::perms>(content.second));
    setTime(p, t += 3601);
  }
  const std::string arc = dir.str("arc.lzh");
  Outcome r = unlha(std::string("a -n -r ") + GetParam() + " " + quoted(arc) + "  " + quoted(dir.str("src/*")));
  ASSERT_EQ(r.code, 0) << r.output;

  r = unlha("t -n " + quoted(arc));
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("6 member(s) OK"), std::string::npos) << r.output;

  r = unlha("x -n " + quoted(arc) + " " + quoted(dir.str("out") + "/"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(tree(dir.path() / "out"), tree(dir.path() / "src"));

  // "e" drops the folders; a pattern chooses members in every folder.
  r = unlha("e -n " + quoted(arc) + " " + quoted(dir.str("flat") + "/") + " *.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  std::set<std::string> flat;
  for (const auto& [name, e] : tree(dir.path() / "flat")) flat.insert(name);
  EXPECT_EQ(flat, (std::set<std::string>{"deep.txt", "text.txt", "表ソボ.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Methods, RoundTrip, ::testing::Values("-m0", "-m5", "-m6", "-m7"),
                         [](const auto& info) { return std::string(info.param + 1); });

// ---- the open-archive entries ---------------------------------------------

TEST_F(Reading, OpenArchiveEntriesDescribeEveryMember) {
  const std::string text = words(40000, 7);
  const fs::path a = dir.write("in/a.txt", text);
  const fs::path b = dir.write("in/sub/b.bin", randomBytes(3000, 8));
  fs::permissions(b, static_cast<fs::perms>(0444));
  setTime(a, 1700000000);
  const std::string arc = dir.str("arc.lzh");
  ASSERT_EQ(unlha("a -n -r " + quoted(arc) + "  " + quoted(dir.str("in/*"))).code, 0);

  const std::string arcSj = dir.sjis("arc.lzh");
  EXPECT_EQ(UnlhaGetFileCount(arcSj.c_str()), 2);
  EXPECT_EQ(UnlhaCheckArchive(arcSj.c_str(), UNLHA_CHECK_FULL), 1);
  const int h = UnlhaOpenArchive(nullptr, arcSj.c_str(), 0);
  ASSERT_GT(h, 0);

  UnlhaMemberInfo info{};
  ASSERT_EQ(UnlhaFindFirst(h, "*.txt", &info), 0);
  EXPECT_STREQ(info.fileName, "a.txt");
  EXPECT_STREQ(info.method, "-lh5-");
  EXPECT_EQ(info.originalSize, text.size());
  EXPECT_EQ(info.crc, crcOf(text));
  const std::uint32_t dos = dosDateTime(1700000000);
  EXPECT_EQ(info.date, dos >> 16);
  EXPECT_EQ(info.time, dos & 0xFFFF);
  EXPECT_EQ(UnlhaGetWriteTime(h), 1700000000);
  EXPECT_EQ(UnlhaGetDate(h), static_cast<int>(dos >> 16));
  EXPECT_EQ(UnlhaGetOriginalSize(h), static_cast<int>(text.size()));
  EXPECT_EQ(UnlhaGetCompressedSize(h), static_cast<int>(info.compressedSize));
  EXPECT_EQ(UnlhaGetRatio(h), static_cast<int>((info.compressedSize * 1000 + text.size() / 2) / text.size()));
  EXPECT_EQ(UnlhaGetCRC(h), crcOf(text));
  EXPECT_EQ(UnlhaGetOSType(h), UNLHA_OS_UNIX);
  EXPECT_EQ(UnlhaGetAccessTime(h), -1);  // our writer stores no Windows time stamps
  char buf[64];
  EXPECT_EQ(UnlhaGetMethod(h, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "-lh5-");
  EXPECT_EQ(UnlhaGetFileName(h, buf, 3), UNLHA_ERROR_BUFFER);
  EXPECT_STREQ(buf, "a.");
  EXPECT_EQ(UnlhaFindNext(h, &info), -1);  // one text file only
  EXPECT_EQ(UnlhaGetOriginalSize(h), -1);  // no current member after the end

  ASSERT_EQ(UnlhaFindFirst(h, nullptr, nullptr), 0);
  ASSERT_EQ(UnlhaFindNext(h, &info), 0);
  EXPECT_STREQ(info.fileName, "sub/b.bin");
  EXPECT_STREQ(info.attribute, "-r--a");
  EXPECT_EQ(UnlhaGetAttribute(h), 0x21);
  ASSERT_EQ(UnlhaFindFirst(h, "sub/*", &info), 0);
  EXPECT_STREQ(info.fileName, "sub/b.bin");
  EXPECT_EQ(UnlhaFindFirst(h, "none*", &info), -1);

  EXPECT_EQ(UnlhaGetArcFileName(h, buf, sizeof buf), arcSj.size() < sizeof buf ? 0 : UNLHA_ERROR_BUFFER);
  EXPECT_EQ(UnlhaGetArcFileSize(h), static_cast<int>(fs::file_size(dir.path() / "arc.lzh")));
  EXPECT_EQ(UnlhaGetArcOriginalSize(h), static_cast<int>(text.size() + 3000));
  EXPECT_EQ(UnlhaCloseArchive(h), 0);
  EXPECT_EQ(UnlhaCloseArchive(h), UNLHA_ERROR_ARGUMENT);
  EXPECT_EQ(UnlhaFindFirst(h, "*", &info), UNLHA_ERROR_ARGUMENT);
  EXPECT_EQ(UnlhaGetCRC(h), -1);

  EXPECT_EQ(UnlhaQueryFunctionList(26), 1);
  EXPECT_EQ(UnlhaQueryFunctionList(12), 0);
  EXPECT_EQ(UnlhaConfigDialog(nullptr, nullptr, 0), UNLHA_ERROR_NOT_SUPPORTED);
  EXPECT_EQ(UnlhaOpenArchive(nullptr, dir.sjis("missing.lzh").c_str(), 0), 0);
  EXPECT_EQ(UnlhaGetFileCount(dir.sjis("missing.lzh").c_str()), -1);
}

// Level-1 and level-2 extension headers written by other programs: Windows
// time stamps, attribute, Unix mode, owner and time.
TEST_F(Reading, ExtensionHeadersOfOtherWritersAreRead) {
  // One extension header without its leading size: type and data.
  auto ext = [](std::uint8_t type, Bytes data) {
    data.insert(data.begin(), type);
    return data;
  };
  auto le = [](std::uint64_t v, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return b;
  };
  const std::string data = "level one data";
  // Level 1: base header ending in OS id 'U' and the first next-size field,
  // then the chain of extension headers; "skip size" covers them and the data.
  const std::uint64_t ft = (1650000000ull + 11644473600ull) * 10000000ull;
  Bytes ts = le(ft - 10000000ull * 86400, 8);
  Bytes w = le(ft, 8);
  Bytes acc = le(ft + 10000000ull * 60, 8);
  ts.insert(ts.end(), w.begin(), w.end());
  ts.insert(ts.end(), acc.begin(), acc.end());
  std::vector<Bytes> exts = {ext(0x41, ts), ext(0x50, le(0104755, 2)), ext(0x51, le(0x0064'03E8, 4)),
                             ext(0x54, le(1650000000, 4)), ext(0x02, {'d', 'i', 'r', 0xFF})};
  // Chained: each extension ends with the size of the next one (0 at the end).
  Bytes chain;
  for (std::size_t i = 0; i < exts.size(); ++i) {
    chain.insert(chain.end(), exts[i].begin(), exts[i].end());
    const std::size_t next = i + 1 < exts.size() ? exts[i + 1].size() + 2 : 0;
    chain.push_back(static_cast<std::uint8_t>(next));
    chain.push_back(static_cast<std::uint8_t>(next >> 8));
  }
  // The base header's next-size field holds the first extension's size.
  Bytes h(22, 0);
  const char* method = "-lh0-";
  std::copy(method, method + 5, h.begin() + 2);
  const std::uint64_t skip = chain.size() + data.size();
  for (int i = 0; i < 4; ++i) h[7 + i] = static_cast<std::uint8_t>(skip >> (8 * i));
  for (int i = 0; i < 4; ++i) h[11 + i] = static_cast<std::uint8_t>(data.size() >> (8 * i));
  h[19] = 0x20;
  h[20] = 1;
  const std::string name = "one.txt";
  h[21] = static_cast<std::uint8_t>(name.size());
  h.insert(h.end(), name.begin(), name.end());
  const std::uint16_t crc = crcOf(data);
  h.push_back(static_cast<std::uint8_t>(crc));
  h.push_back(static_cast<std::uint8_t>(crc >> 8));
  h.push_back('U');
  h.push_back(static_cast<std::uint8_t>(exts[0].size() + 2));
  h.push_back(0);
  unlha::test::sealOldHeader(h);
  h.insert(h.end(), chain.begin(), chain.end());
  h.insert(h.end(), data.begin(), data.end());
  writeArchive(dir.path() / "one.lzh", {h});

  const int handle = UnlhaOpenArchive(nullptr, dir.sjis("one.lzh").c_str(), 0);
  ASSERT_GT(handle, 0);
  UnlhaMemberInfo info{};
  ASSERT_EQ(UnlhaFindFirst(handle, "*", &info), 0);
  EXPECT_STREQ(info.fileName, "dir/one.txt");
  EXPECT_EQ(UnlhaGetOriginalSize(handle), static_cast<int>(data.size()));
  EXPECT_EQ(UnlhaGetWriteTime(handle), 1650000000);
  EXPECT_EQ(UnlhaGetCreateTime(handle), 1650000000 - 86400);
  EXPECT_EQ(UnlhaGetAccessTime(handle), 1650000000 + 60);
  EXPECT_EQ(UnlhaGetOSType(handle), UNLHA_OS_UNIX);
  UnlhaCloseArchive(handle);
  // lhasa, an independent reader, agrees on the member and its data.
  EXPECT_EQ(shell("cd '" + dir.str() + "' && lhasa t one.lzh >/dev/null 2>&1").code, 0);

  // Extraction drops the set-user-ID bit and restores the time.
  const Outcome r = unlha("x -n " + quoted(dir.str("one.lzh")) + " " + quoted(dir.str("out") + "/"));
  ASSERT_EQ(r.code, 0) << r.output;
  struct stat st {};
  ASSERT_EQ(::stat(dir.str("out/dir/one.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtime, 1650000000);
  EXPECT_EQ(dir.read("out/dir/one.txt"), data);
}

// -lh4- is the -lh5- bit stream with a 4 KiB window: data of at most 4 KiB
// compressed as -lh5- is a valid -lh4- member.
TEST_F(Reading, Lh4MembersDecode) {
  const std::string data = words(4096, 9);
  Bytes packed;
  lzh::Encoder enc(lzh::Method::Lh5, [&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); });
  enc.write(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
  enc.finish();
  NewMemberHeader h;
  std::copy_n("-lh4-", 5, h.method);
  h.path = "four.txt";
  h.packedSize = static_cast<std::uint32_t>(packed.size());
  h.originalSize = static_cast<std::uint32_t>(data.size());
  h.crc = crcOf(data);
  h.mtime = 1600000000;
  h.unixMode = 0100644;
  Bytes m = buildLevel2Header(h);
  m.insert(m.end(), packed.begin(), packed.end());
  writeArchive(dir.path() / "four.lzh", {m});
  ASSERT_EQ(shell("cd '" + dir.str() + "' && lhasa t four.lzh >/dev/null 2>&1").code, 0);
  const Outcome r = unlha("x -n " + quoted(dir.str("four.lzh")) + " " + quoted(dir.str("out") + "/"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir.read("out/four.txt"), data);
}

// ---- damage ------------------------------------------------------------------

TEST_F(Reading, DamagedDataIsReportedAndLeavesNoFile) {
  const std::string data = words(50000, 4);
  dir.write("in/a.txt", data);
  dir.write("in/b.txt", "second member");
  const std::string arc = dir.str("arc.lzh");
  ASSERT_EQ(unlha("a -n " + quoted(arc) + "  " + quoted(dir.str("in/*.txt"))).code, 0);
  std::string bytes = readFile(arc);
  bytes[bytes.size() / 2] ^= 0x5A;  // inside a.txt's packed data
  std::ofstream(arc, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

  Outcome r = unlha("t -n " + quoted(arc));
  EXPECT_EQ(r.code, UNLHA_ERROR_CRC) << r.output;
  EXPECT_NE(r.output.find("OK     b.txt"), std::string::npos) << r.output;
  EXPECT_EQ(UnlhaCheckArchive(dir.sjis("arc.lzh").c_str(), UNLHA_CHECK_FULL), 0);
  EXPECT_EQ(UnlhaCheckArchive(dir.sjis("arc.lzh").c_str(), UNLHA_CHECK_HEADERS), 1);

  r = unlha("x -n " + quoted(arc) + " " + quoted(dir.str("out") + "/"));
  EXPECT_EQ(r.code, UNLHA_ERROR_CRC) << r.output;
  EXPECT_FALSE(fs::exists(dir.path() / "out/a.txt"));
  EXPECT_EQ(dir.read("out/b.txt"), "second member");
  for (const auto& e : fs::directory_iterator(dir.path() / "out"))
    EXPECT_FALSE(e.path().filename().string().ends_with(".tmp")) << e.path();
}

// Thousands of archives, each a valid one with a few bytes changed, cut or
// repeated (fixed seed): every command and entry answers, none crashes, hangs
// or writes outside its folder.
TEST_F(Reading, MutatedArchivesAreHandledSafely) {
  dir.write("in/text.txt", words(20000, 5));
  dir.write("in/rand.bin", randomBytes(2000, 6));
  dir.write("in/sub/small.txt", "small");
  std::vector<std::string> seeds;
  for (const char* m : {"-m5", "-m6", "-m7"}) {
    const std::string arc = dir.str(std::string("seed") + m + ".lzh");
    ASSERT_EQ(unlha(std::string("a -n -r ") + m + " " + quoted(arc) + "  " + quoted(dir.str("in/*"))).code, 0);
    seeds.push_back(readFile(arc));
  }
  std::string old;
  for (const Bytes& b : {level0Member(sj("dir\\表.txt"), "level zero"), storedMember("s.txt", "stored")}) old.append(b.begin(), b.end());
  old.push_back('\0');
  seeds.push_back(old);

  std::mt19937 rng(20261207);
  const fs::path work = dir.path() / "work";
  fs::create_directories(work / "out");
  const std::string file = (work / "m.lzh").string();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int runs = 0, opened = 0, tested = 0;
  for (; runs < 3000 && std::chrono::steady_clock::now() < deadline; ++runs) {
    std::string a = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !a.empty(); ++e) {
      const std::size_t at = rng() % a.size();
      switch (rng() % 4) {
        case 0: a[at] = static_cast<char>(rng()); break;
        case 1: a[at] ^= static_cast<char>(1u << (rng() % 8)); break;
        case 2: a.resize(at); break;
        case 3: a.insert(at, a.substr(at, rng() % 64)); break;
      }
    }
    std::ofstream(file, std::ios::binary).write(a.data(), static_cast<std::streamsize>(a.size()));
    const std::string sjFile = *vedo::cp932::fromUtf8(file);
    tested += unlha("t -n " + quoted(file)).code == 0;
    (void)UnlhaCheckArchive(sjFile.c_str(), UNLHA_CHECK_FULL);
    const int h = UnlhaOpenArchive(nullptr, sjFile.c_str(), 0);
    if (h > 0) {
      ++opened;
      UnlhaMemberInfo info{};
      int guard = 0;
      for (int rc = UnlhaFindFirst(h, "*", &info); rc == 0 && guard < 100000; rc = UnlhaFindNext(h, &info), ++guard) {
        char name[1024];
        (void)UnlhaGetFileName(h, name, sizeof name);
        (void)UnlhaGetDate(h);
        (void)UnlhaGetWriteTime(h);
      }
      EXPECT_EQ(UnlhaCloseArchive(h), 0);
    }
    if (runs % 8 == 0) (void)unlha("x -n -o " + quoted(file) + " " + quoted((work / "out").string() + "/"));
  }
  EXPECT_GE(runs, 500);
  // The mutations reach past the headers: many archives still open, some
  // damage lies in data that still decodes (stored bytes), most is caught.
  EXPECT_GT(opened, runs / 10);
  EXPECT_LT(tested, opened);
  // Nothing beside the mutated archive and the extraction folder.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(work)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"m.lzh", "out"}));
  std::cout << runs << " mutated archives, " << opened << " opened, " << tested << " passed the test\n";
}

// ---- extraction safety -------------------------------------------------------

TEST_F(Reading, ExtractionStaysInsideItsFolder) {
  // The paths a hostile archive may hold, each beside a harmless member.
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(outside);
  struct Case {
    const char* label;
    Bytes member;
  };
  const Case cases[] = {
      {"DotDot", storedMember("../x", "escape")},
      {"DotDotDeeper", storedMember("a/../../x", "escape")},
      {"BackslashDotDot", level0Member("..\\x", "escape")},
      {"Absolute", level0Member("/etc/x", "escape")},
      {"AbsoluteBackslash", level0Member("\\etc\\x", "escape")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const fs::path target = dir.path() / "t" / c.label / "in";
    fs::create_directories(target);
    writeArchive(dir.path() / "hostile.lzh", {c.member, storedMember("fine.txt", "fine")});
    const Outcome r = unlha("x -n " + quoted(dir.str("hostile.lzh")) + " " + quoted(target.string() + "/"));
    EXPECT_EQ(r.code, UNLHA_ERROR_UNSAFE_PATH) << r.output;
    EXPECT_NE(r.output.find("refused"), std::string::npos) << r.output;
    EXPECT_EQ(readFile(target / "fine.txt"), "fine");
    EXPECT_FALSE(fs::exists(target.parent_path() / "x"));
    EXPECT_FALSE(fs::exists(target / "etc"));
    std::size_t entries = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / "t" / c.label)) entries += e.is_regular_file();
    EXPECT_EQ(entries, 1u);
  }
  EXPECT_FALSE(fs::exists("/etc/x") && readFile("/etc/x") == "escape");
}

TEST_F(Reading, SymbolicLinksInTheWayAreRefused) {
  const fs::path outside = dir.path() / "outside";
  fs::create_directories(outside);
  const fs::path target = dir.path() / "in";
  fs::create_directories(target);
  fs::create_directory_symlink(outside, target / "link");
  fs::create_symlink(outside / "victim", target / "file.txt");
  writeArchive(dir.path() / "a.lzh", {storedMember("link/x", "through the link"), storedMember("file.txt", "over the link")});

  Outcome r = unlha("x -n " + quoted(dir.str("a.lzh")) + " " + quoted(target.string() + "/"));
  EXPECT_EQ(r.code, UNLHA_ERROR_UNSAFE_PATH) << r.output;
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_TRUE(fs::is_symlink(target / "file.txt"));  // kept: no -o

  // With -o the link at the file's own name is replaced by the file; what it
  // pointed to is never written.
  r = unlha("x -n -o " + quoted(dir.str("a.lzh")) + " " + quoted(target.string() + "/") + " file.txt");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_FALSE(fs::is_symlink(target / "file.txt"));
  EXPECT_EQ(readFile(target / "file.txt"), "over the link");
  EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(Reading, ExistingFilesAreKeptUnlessOverwriteIsAsked) {
  writeArchive(dir.path() / "a.lzh", {storedMember("f.txt", "from the archive")});
  dir.write("out/f.txt", "mine");
  Outcome r = unlha("e -n " + quoted(dir.str("a.lzh")) + " " + quoted(dir.str("out") + "/"));
  EXPECT_EQ(r.code, UNLHA_ERROR_EXISTS) << r.output;
  EXPECT_EQ(dir.read("out/f.txt"), "mine");
  r = unlha("e -n -o " + quoted(dir.str("a.lzh")) + " " + quoted(dir.str("out") + "/"));
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir.read("out/f.txt"), "from the archive");
}

// 表 is 0x95 0x5C: its second byte must not split the name into a folder.
TEST_F(Reading, TrailByte5CIsNoSeparator) {
  writeArchive(dir.path() / "a.lzh", {level0Member(sj("表\\表.txt"), "hyou"), storedMember(sj("ソ表.txt"), "so")});
  const Outcome r = unlha("x -n " + quoted(dir.str("a.lzh")) + " " + quoted(dir.str("out") + "/"));
  ASSERT_EQ(r.code, 0) << r.output;
  std::set<std::string> names;
  for (const auto& [name, e] : tree(dir.path() / "out")) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"ソ表.txt", "表/表.txt"}));
}

// Older writers store a folder as an empty -lh0- member named "dir\".
TEST_F(Reading, EmptyMembersEndingInASeparatorAreFolders) {
  writeArchive(dir.path() / "a.lzh", {level0Member("old\\", ""), level0Member("old\\f.txt", "inside")});
  const Outcome r = unlha("x -n " + quoted(dir.str("a.lzh")) + " " + quoted(dir.str("out") + "/"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(fs::is_directory(dir.path() / "out/old"));
  EXPECT_EQ(dir.read("out/old/f.txt"), "inside");
}

// ---- delete -----------------------------------------------------------------

TEST_F(Reading, DeleteRemovesMatchesAtomically) {
  dir.write("in/a.txt", words(10000, 1));
  dir.write("in/b.txt", "bee");
  dir.write("in/c.bin", randomBytes(5000, 2));
  const std::string arc = dir.str("arc.lzh");
  ASSERT_EQ(unlha("a -n " + quoted(arc) + "  " + quoted(dir.str("in/*"))).code, 0);
  const std::string before = readFile(arc);

  Outcome r = unlha("d -n " + quoted(arc) + " nothing*");
  EXPECT_EQ(r.code, UNLHA_ERROR_NO_MATCH) << r.output;
  EXPECT_EQ(readFile(arc), before);

  r = unlha("d -n " + quoted(arc) + " a.txt *.bin");
  ASSERT_EQ(r.code, 0) << r.output;
  const std::vector<MemberInfo> left = readMembers(arc);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].path, "b.txt");
  EXPECT_EQ(unlha("t -n " + quoted(arc)).code, 0);
  EXPECT_EQ(shell("cd '" + dir.str() + "' && lhasa t arc.lzh >/dev/null 2>&1").code, 0);

  r = unlha("d -n " + quoted(arc) + " b.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(readFile(arc), std::string(1, '\0'));
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_FALSE(e.path().filename().string().ends_with(".tmp")) << e.path();
}

TEST_F(Reading, ListShowsEveryMember) {
  dir.write("in/a.txt", "alpha");
  dir.write("in/" + std::string("表.txt"), "hyou");
  const std::string arc = dir.str("arc.lzh");
  ASSERT_EQ(unlha("a -n " + quoted(arc) + "  " + quoted(dir.str("in/*"))).code, 0);
  const Outcome r = unlha("l -n " + quoted(arc));
  ASSERT_EQ(r.code, 0) << r.output;
  char crc[8];
  std::snprintf(crc, sizeof crc, "%04X", crcOf("alpha"));
  EXPECT_NE(r.output.find(std::string(crc) + " a.txt\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(sj("表.txt")), std::string::npos);
  EXPECT_NE(r.output.find("2 file(s)"), std::string::npos);
  EXPECT_EQ(unlha("l -n " + quoted(dir.str("none.lzh"))).code, UNLHA_ERROR_READ);
}

TEST_F(Reading, FrontEndRunsTheReadingCommands) {
  dir.write("in/a.txt", "alpha");
  dir.write("in/表.txt", "hyou");
  const std::string unlhaPath = UNLHA_FRONT_END_PATH;
  const std::string arc = "'" + dir.str("arc.lzh") + "'";
  ASSERT_EQ(shell(unlhaPath + " a -n " + arc + " '" + dir.str("in/a.txt") + "' '" + dir.str("in/表.txt") + "'").code, 0);
  const Outcome listed = shell(unlhaPath + " l " + arc);
  EXPECT_EQ(listed.code, 0);
  EXPECT_NE(listed.output.find("表.txt"), std::string::npos) << listed.output;  // shown in UTF-8
  EXPECT_EQ(shell(unlhaPath + " t " + arc).code, 0);
  EXPECT_EQ(shell(unlhaPath + " x " + arc + " '" + dir.str("out") + "/' '表*' 2>&1").code, 0);
  EXPECT_EQ(dir.read("out/表.txt"), "hyou");
  EXPECT_FALSE(fs::exists(dir.path() / "out/a.txt"));
  // Kept without -o: a nonzero exit.
  EXPECT_NE(shell(unlhaPath + " x " + arc + " '" + dir.str("out") + "/' 2>&1").code, 0);
  EXPECT_EQ(shell(unlhaPath + " d " + arc + " a.txt").code, 0);
  ASSERT_EQ(readMembers(dir.str("arc.lzh")).size(), 1u);
}

}  // namespace
}  // namespace unlha::test
