#include "unlha32/archive/read_archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/file_system.h"
#include "platform/sjis_text.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/archive/progress_report.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

// Decoded bytes handed to the sink at a time.
constexpr std::size_t kChunk = 1 << 16;

// Whether a member may be LHARK's variant of -lh7-, which carries the standard
// id: a level-1 header with OS id ' ', as LHARK writes and other -lh7- writers
// do not. Not certain, so such a member is still decoded as -lh7-.
bool mayBeLharkVariant(const MemberInfo& m) { return m.method == "-lh7-" && m.level == 1 && m.osId == ' '; }

[[noreturn]] void damaged(const MemberInfo& m, const std::string& why) {
  // A member that looks like LHARK's (the variant cannot be told from the
  // standard -lh7- with certainty) is decoded as -lh7- first; only when that
  // fails is it reported as the variant.
  if (mayBeLharkVariant(m))
    throw CommandError(UNLHA_ERROR_NOT_SUPPORTED, "\"" + shownName(m.path) + "\": " + tr("method -lh7- of LHARK, a variant this library does not read"));
  throw CommandError(UNLHA_ERROR_CRC, "\"" + shownName(m.path) + "\": " + why);
}

constexpr std::size_t kMacBinaryHeader = 128;

std::uint64_t paddedTo128(std::uint64_t n) { return (n + 127) / 128 * 128; }
std::uint32_t bigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The length of the data fork when `header` (the first 128 bytes of a member
// of `total` bytes) is a MacBinary header that describes exactly this member.
std::optional<std::uint64_t> macBinaryDataFork(std::span<const std::uint8_t> header, std::uint64_t total) {
  if (header.size() < kMacBinaryHeader) return std::nullopt;
  const std::uint8_t nameLength = header[1];
  if (header[0] != 0 || nameLength < 1 || nameLength > 63 || header[74] != 0 || header[82] != 0) return std::nullopt;
  const std::uint64_t data = bigEndian32(&header[83]);
  const std::uint64_t resource = bigEndian32(&header[87]);
  const std::uint64_t least = kMacBinaryHeader + paddedTo128(data) + resource;
  if (total < least || total > kMacBinaryHeader + paddedTo128(data) + paddedTo128(resource)) return std::nullopt;
  if (resource == 0 && total != kMacBinaryHeader + paddedTo128(data)) return std::nullopt;
  return data;
}

// The part of a stored path a pattern without separators is matched against.
std::string_view namePartOf(std::string_view path) {
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');  // 0x2F is never a trail byte
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

ReadArchive openForReading(const std::string& archive) {
  const std::optional<std::string> sys = vedo::fs::toSystemPath(archive);
  if (!sys) throw CommandError(UNLHA_ERROR_NAME, tr("archive name cannot be held in CP932") + ": \"" + archive + "\"");
  ReadArchive a;
  a.display = archive;
  a.fd.reset(::open(sys->c_str(), O_RDONLY | O_CLOEXEC));
  if (a.fd.get() < 0 || ::fstat(a.fd.get(), &a.status) != 0)
    throw CommandError(UNLHA_ERROR_READ, tr("cannot open the archive") + " \"" + archive + "\": " + systemMessage(errno));
  if (!S_ISREG(a.status.st_mode))
    throw CommandError(UNLHA_ERROR_READ, tr("not a file") + ": \"" + archive + "\"");
  FdContext ctx{a.fd.get()};
  try {
    a.members = parseArchive(readFd, &ctx, a.size());
    if (a.members.empty() && a.size() != 1) throw ArchiveError("no member and no archive structure");
  } catch (const ArchiveError& e) {
    throw CommandError(UNLHA_ERROR_BAD_ARCHIVE, tr("not a valid LZH archive") + ": \"" + archive + "\" (" + e.what() + ")");
  }
  return a;
}

std::optional<lzh::Method> decodingMethod(std::string_view id) {
  // -lz4- and -pm0- are the stored methods of two older archivers.
  if (id == "-lh0-" || id == "-lz4-" || id == "-pm0-") return lzh::Method::Lh0;
  if (id == "-lh4-" || id == "-lh5-") return lzh::Method::Lh5;
  if (id == "-lh6-") return lzh::Method::Lh6;
  if (id == "-lh7-") return lzh::Method::Lh7;
  if (id == "-lh1-") return lzh::Method::Lh1;
  if (id == "-lh2-") return lzh::Method::Lh2;
  if (id == "-lh3-") return lzh::Method::Lh3;
  if (id == "-lzs-") return lzh::Method::Lzs;
  if (id == "-lz5-") return lzh::Method::Lz5;
  return std::nullopt;
}

bool memberMatches(const MemberInfo& m, std::string_view pattern) {
  const std::string p = vedo::sjis::toSystemSeparators(pattern);
  if (p.empty()) return true;
  if (vedo::sjis::containsChar(p, '/')) {
    std::string_view path = m.path;
    if (!path.empty() && path.back() == '/') path.remove_suffix(1);
    std::string_view pat = p;
    while (!pat.empty() && pat.front() == '/') pat.remove_prefix(1);
    return vedo::fs::wildcardMatch(pat, path);
  }
  return vedo::fs::wildcardMatch(p, namePartOf(m.path));
}

std::vector<bool> selectMembers(const std::vector<MemberInfo>& members, const std::vector<std::string>& patterns) {
  std::vector<bool> chosen(members.size(), patterns.empty());
  for (const std::string& p : patterns) {
    bool any = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (memberMatches(members[i], p)) {
        chosen[i] = true;
        any = true;
      }
    }
    if (!any) throw CommandError(UNLHA_ERROR_NO_MATCH, tr("no member matches") + " \"" + p + "\"");
  }
  return chosen;
}

void decodeMemberData(const ReadArchive& archive, const MemberInfo& m, const DataSink& sink) {
  if (m.isDirectory() || m.method == "-lhd-") return;  // folders and links carry no data
  const std::optional<lzh::Method> method = decodingMethod(m.method);
  if (!method)
    throw CommandError(UNLHA_ERROR_NOT_SUPPORTED, "\"" + shownName(m.path) + "\": method " + shownName(m.method) +
                                                      " is not supported");
  if (*method == lzh::Method::Lh0 && m.packedSize != m.originalSize) damaged(m, "stored size differs from the original size");

  std::uint64_t offset = m.dataOffset;
  const std::uint64_t end = m.endOffset();
  auto source = [&](std::span<std::uint8_t> buffer) -> std::size_t {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
    const long long n = readFullyAt(archive.fd.get(), offset, buffer.first(want));
    if (n < 0) throw CommandError(UNLHA_ERROR_READ, tr("cannot read the archive") + " \"" + archive.display + "\": " + systemMessage(errno));
    offset += static_cast<std::uint64_t>(n);
    return static_cast<std::size_t>(n);
  };

  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::clamp<std::uint64_t>(m.originalSize, 1, kChunk)));
  std::uint64_t count = 0;
  std::uint16_t crc = 0;
  auto take = [&](std::size_t n) {
    crc = lzh::crc16(crc, std::span(buf.data(), n));
    count += n;
    sink(std::span<const std::uint8_t>(buf.data(), n));
  };
  try {
    if (*method == lzh::Method::Lh0) {
      while (const std::size_t n = source(buf)) take(n);
    } else {
      lzh::Decoder decoder(*method, source, m.packedSize, m.originalSize);
      while (const std::size_t n = decoder.read(buf)) take(n);
    }
  } catch (const lzh::FormatError& e) {
    damaged(m, std::string("data damaged (") + e.what() + ")");
  }
  if (count != m.originalSize) damaged(m, "data shorter than its size");
  if (crc != m.crc) damaged(m, "CRC error");
}

DataSink fileContentSink(const MemberInfo& m, DataSink sink) {
  if (m.osId != 'm' || m.originalSize < kMacBinaryHeader) return sink;
  // The first 128 bytes decide; until they are all in, they are held back.
  struct State {
    std::vector<std::uint8_t> head;
    std::optional<std::uint64_t> dataFork;  // set once decided: bytes of data to pass on
    std::uint64_t seen = 0;                 // bytes after the header passed by
  };
  auto state = std::make_shared<State>();
  const std::uint64_t total = m.originalSize;
  return [state, total, sink = std::move(sink)](std::span<const std::uint8_t> bytes) {
    State& s = *state;
    if (!s.dataFork) {
      const std::size_t take = std::min(bytes.size(), kMacBinaryHeader - s.head.size());
      s.head.insert(s.head.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
      bytes = bytes.subspan(take);
      if (s.head.size() < kMacBinaryHeader) return;
      const std::optional<std::uint64_t> fork = macBinaryDataFork(s.head, total);
      if (!fork) {
        s.dataFork = total;  // not MacBinary after all: everything is the file
        s.seen = kMacBinaryHeader;
        sink(s.head);
      } else {
        s.dataFork = kMacBinaryHeader + *fork;
        s.seen = kMacBinaryHeader;
      }
    }
    if (s.seen >= *s.dataFork) return;
    const std::size_t pass = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), *s.dataFork - s.seen));
    s.seen += bytes.size();
    if (pass != 0) sink(bytes.first(pass));
  };
}

}  // namespace unlha
