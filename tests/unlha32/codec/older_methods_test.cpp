// The decoders of the older methods on data packed by independent writers:
// our own data packed by Debian's jlha (JlhaWrite.java, run at test time),
// and sample archives of historic programs, checked against another reader's
// listing of their sizes and CRCs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unlha32/codec/codec_test_data.h"
#include "unlha32/codec/lzh_codec.h"

namespace {

namespace fs = std::filesystem;
using codec_test::Bytes;
using lzh::Method;

struct Member {
  std::string name;
  std::string method;
  Bytes packed;
  std::uint64_t originalSize = 0;
  std::uint16_t crc = 0;
};

unsigned le16(const Bytes& d, std::size_t at) { return d.at(at) | d.at(at + 1) << 8; }
std::uint32_t le32(const Bytes& d, std::size_t at) { return le16(d, at) | static_cast<std::uint32_t>(le16(d, at + 2)) << 16; }

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The members of an archive with headers of level 0, 1 or 2: just the fields
// these tests need (the archive reader has its own tests).
std::vector<Member> readMembers(const fs::path& path) {
  const Bytes d = readFile(path);
  std::vector<Member> members;
  std::size_t p = 0;
  while (p < d.size() && d[p] != 0) {
    Member m;
    m.method.assign(d.begin() + static_cast<std::ptrdiff_t>(p + 2), d.begin() + static_cast<std::ptrdiff_t>(p + 7));
    std::uint64_t packed = le32(d, p + 7);
    m.originalSize = le32(d, p + 11);
    const unsigned level = d.at(p + 20);
    std::size_t data = 0;
    if (level == 2) {
      data = p + le16(d, p);
      m.crc = static_cast<std::uint16_t>(le16(d, p + 21));
    } else {
      const std::size_t nameLength = d.at(p + 21);
      m.name.assign(d.begin() + static_cast<std::ptrdiff_t>(p + 22),
                    d.begin() + static_cast<std::ptrdiff_t>(p + 22 + nameLength));
      m.crc = static_cast<std::uint16_t>(le16(d, p + 22 + nameLength));
      data = p + 2 + d[p];
      // Level 1: extension headers follow, counted in the packed size.
      for (unsigned next = level == 1 ? le16(d, data - 2) : 0; next != 0;) {
        packed -= next;
        data += next;
        next = le16(d, data - 2);
      }
    }
    if (data + packed > d.size()) throw std::runtime_error("archive cut short: " + path.string());
    m.packed.assign(d.begin() + static_cast<std::ptrdiff_t>(data), d.begin() + static_cast<std::ptrdiff_t>(data + packed));
    members.push_back(std::move(m));
    p = data + packed;
  }
  return members;
}

Method methodOf(const std::string& id) {
  static const std::map<std::string, Method> kIds = {
      {"-lh0-", Method::Lh0}, {"-lz4-", Method::Lh0}, {"-pm0-", Method::Lh0}, {"-lh1-", Method::Lh1},
      {"-lh2-", Method::Lh2}, {"-lh3-", Method::Lh3}, {"-lzs-", Method::Lzs}, {"-lz5-", Method::Lz5}};
  return kIds.at(id);
}

std::uint16_t crcOf(const Bytes& b) { return lzh::crc16(0, b); }

void writeFile(const fs::path& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

struct JlhaRow {
  const char* id;
  int level;
};

// Each method at one header level (the level does not reach the codec).
const JlhaRow kJlhaRows[] = {{"-lh1-", 0}, {"-lh2-", 1}, {"-lh3-", 2}, {"-lzs-", 0}, {"-lz5-", 1}};

TEST(OlderMethods, JlhaArchivesOfOurDataDecodeToIt) {
  const char* jar = "/usr/share/java/jlha.jar";
  if (!fs::exists(jar) || std::system("command -v java >/dev/null 2>&1") != 0) GTEST_SKIP() << "jlha or java missing";
  const fs::path dir = fs::temp_directory_path() / ("older_methods_" + std::to_string(::getpid()));
  fs::create_directories(dir);

  // Random letters of a four-letter alphabet: short matches, so tens of
  // thousands of items and distances; the adaptive codes of -lh1- and -lh2-
  // halve their counts, and the -lh2- distance code grows to its full size.
  // Binary data: long runs and far matches. A few bytes of text: a stream of
  // a handful of items.
  Bytes letters = codec_test::randomBytes(400000, 71);
  for (auto& b : letters) b = static_cast<std::uint8_t>('a' + (b & 3));
  const std::vector<std::pair<std::string, Bytes>> sets = {
      {"letters", letters}, {"binary", codec_test::binary(150000, 72)}, {"short", codec_test::text(40, 73)}};
  std::string command = std::string("java -cp ") + jar + " '" + VEDO_JLHA_WRITER + "' '" + (dir / "t.lzh").string() + "'";
  for (const JlhaRow& row : kJlhaRows) {
    for (const auto& [name, data] : sets) {
      const std::string file = std::string(row.id).substr(1, 3) + "-" + name;
      writeFile(dir / file, data);
      command += std::string(" ") + row.id + " " + std::to_string(row.level) + " '" + (dir / file).string() + "'";
    }
  }
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;

  const std::vector<Member> members = readMembers(dir / "t.lzh");
  ASSERT_EQ(members.size(), std::size(kJlhaRows) * sets.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    const JlhaRow& row = kJlhaRows[i / sets.size()];
    const Bytes& data = sets[i % sets.size()].second;
    SCOPED_TRACE(std::string(row.id) + " " + sets[i % sets.size()].first);
    // jlha stores what does not shrink; the long sets must be packed.
    if (data.size() > 1000) {
      EXPECT_EQ(m.method, row.id);
    }
    ASSERT_EQ(m.originalSize, data.size());
    const Method method = methodOf(m.method);
    EXPECT_EQ(codec_test::decode(method, m.packed, data.size()), data);
    EXPECT_EQ(codec_test::decode(method, m.packed, data.size(), 1000, 777), data) << "small reads and source pieces";
    EXPECT_EQ(crcOf(data), m.crc);
    if (method != Method::Lh0) {
      for (const std::size_t keep : {m.packed.size() / 2, m.packed.size() - 1}) {
        const Bytes cut(m.packed.begin(), m.packed.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_THROW(codec_test::decode(method, cut, data.size()), lzh::FormatError) << "packed bytes kept: " << keep;
      }
    }
  }
  fs::remove_all(dir);
}

// The other reader's header listing (NAME-hdr.txt): each member's size and CRC.
std::vector<std::pair<std::uint64_t, std::uint16_t>> listedSizesAndCrcs(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::pair<std::uint64_t, std::uint16_t>> out;
  std::string line;
  std::uint64_t size = 0;
  while (std::getline(in, line)) {
    if (line.rfind("length: ", 0) == 0) size = std::stoull(line.substr(8));
    if (line.rfind("crc: ", 0) == 0) out.emplace_back(size, static_cast<std::uint16_t>(std::stoul(line.substr(5), nullptr, 16)));
  }
  return out;
}

class SampleArchive : public testing::TestWithParam<const char*> {};

TEST_P(SampleArchive, DecodesToTheOtherReadersSizesAndCrcs) {
  const fs::path archive = fs::path(VEDO_LZH_SAMPLES_DIR) / GetParam();
  if (!fs::exists(VEDO_LZH_SAMPLES_DIR)) GTEST_SKIP() << "sample set not present: " << VEDO_LZH_SAMPLES_DIR;
  ASSERT_TRUE(fs::exists(archive)) << archive;
  const auto listed = listedSizesAndCrcs(archive.string() + "-hdr.txt");
  const std::vector<Member> members = readMembers(archive);
  ASSERT_EQ(members.size(), listed.size());
  ASSERT_FALSE(members.empty());
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Bytes out = codec_test::decode(methodOf(members[i].method), members[i].packed, members[i].originalSize);
    EXPECT_EQ(out.size(), listed[i].first) << i;
    EXPECT_EQ(crcOf(out), listed[i].second) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleArchive,
                         testing::Values("generated/lzs/lzs.lzs", "larc333/lz5.lzs", "pmarc2/pm0.pma"));

}  // namespace
