#include "unlha32/archive/lzh_header.h"

#include <algorithm>
#include <ctime>
#include <string_view>

#include "platform/sjis_text.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha {
namespace {

// Extension header types this library writes or reads.
constexpr std::uint8_t kExtHeaderCrc = 0x00;
constexpr std::uint8_t kExtFileName = 0x01;
constexpr std::uint8_t kExtFolderName = 0x02;
constexpr std::uint8_t kExtAttribute = 0x40;
constexpr std::uint8_t kExtWindowsTimes = 0x41;
constexpr std::uint8_t kExtLargeSizes = 0x42;
constexpr std::uint8_t kExtCodePage = 0x46;
constexpr std::uint8_t kExtUnixMode = 0x50;
constexpr std::uint8_t kExtUnixOwner = 0x51;
constexpr std::uint8_t kExtUnixTime = 0x54;

// Level-1 extension headers lie outside the base header's 8-bit size; real
// ones take a few hundred bytes. Beyond this much the header is not sound.
constexpr std::uint64_t kMaxLevel1Extensions = 1 << 20;

// Folder separator inside the folder-name extension header.
constexpr char kFolderMark = '\xFF';

constexpr std::size_t kLevel2BaseSize = 26;  // up to and including the first "next size"
constexpr std::size_t kLevel3BaseSize = 32;  // the same with 32-bit sizes
// A level-3 header's size is 32 bits; real ones take a few hundred bytes.
constexpr std::uint64_t kMaxLevel3Header = 1 << 20;

// Unix file type bits of a mode: a symbolic link.
constexpr std::uint16_t kFileTypeMask = 0170000;
constexpr std::uint16_t kSymlinkType = 0120000;
constexpr std::uint32_t kCodePage932 = 932;

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

std::uint32_t get16(const std::uint8_t* p) { return p[0] | (std::uint32_t{p[1]} << 8); }
std::uint32_t get32(const std::uint8_t* p) { return get16(p) | (get16(p + 2) << 16); }

// Appends one extension header (type, data, and a zero "next size" that the
// following header overwrites) and records its size in the previous next-size field.
void appendExt(std::vector<std::uint8_t>& b, std::size_t& nextSizeAt, std::uint8_t type,
               std::string_view data) {
  const std::size_t size = 1 + data.size() + 2;
  put16(b, nextSizeAt, static_cast<std::uint32_t>(size));
  b.push_back(type);
  b.insert(b.end(), data.begin(), data.end());
  nextSizeAt = b.size();
  b.push_back(0);
  b.push_back(0);
}

std::vector<std::uint8_t> readExact(ReadAt read, void* ctx, std::uint64_t offset, std::size_t size,
                                    std::uint64_t fileSize) {
  if (offset > fileSize || size > fileSize - offset)
    throw ArchiveError("truncated member header at offset " + std::to_string(offset));
  std::vector<std::uint8_t> out(size);
  if (size != 0 && read(ctx, offset, out.data(), size) != size)
    throw ArchiveError("cannot read member header at offset " + std::to_string(offset));
  return out;
}

std::string folderFromMarks(std::string_view raw) {
  std::string dir;
  for (char c : raw) dir.push_back(c == kFolderMark ? '/' : c);
  if (!dir.empty() && dir.back() != '/') dir.push_back('/');
  return dir;
}

std::uint64_t get64(const std::uint8_t* p) { return get32(p) | (std::uint64_t{get32(p + 4)} << 32); }

// What the extension headers of one member say, beyond the MemberInfo fields.
struct Extensions {
  std::optional<std::string> name;
  std::optional<std::string> folder;
  std::optional<std::size_t> crcAt;  // level 2: where the header CRC is stored
  std::optional<std::uint64_t> packedSize, originalSize;  // extension 0x42
};

// Takes in one extension header. Unknown types, and known ones of a size
// other than the format's, are passed over: they carry nothing we rely on.
void applyExtension(std::uint8_t type, std::string_view data, MemberInfo& m, Extensions& x) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  switch (type) {
    case kExtFileName: x.name = std::string(data); break;
    case kExtFolderName: x.folder = folderFromMarks(data); break;
    case kExtAttribute:
      if (data.size() >= 2) m.attribute = static_cast<std::uint8_t>(get16(p));
      break;
    case kExtWindowsTimes:
      if (data.size() >= 24) {
        m.winCreate = get64(p);
        m.winWrite = get64(p + 8);
        m.winAccess = get64(p + 16);
      }
      break;
    case kExtLargeSizes:
      if (data.size() >= 16) {
        x.packedSize = get64(p);
        x.originalSize = get64(p + 8);
      }
      break;
    case kExtCodePage:
      if (data.size() >= 4) m.codePage = get32(p);
      break;
    case kExtUnixMode:
      if (data.size() >= 2) m.unixMode = static_cast<std::uint16_t>(get16(p));
      break;
    case kExtUnixOwner:
      if (data.size() >= 4) {
        m.gid = static_cast<std::uint16_t>(get16(p));
        m.uid = static_cast<std::uint16_t>(get16(p + 2));
      }
      break;
    case kExtUnixTime:
      if (data.size() >= 4) m.unixTime = get32(p);
      break;
    default: break;
  }
}

// Walks the extension headers of a level-2 (2-byte sizes) or level-3 (4-byte
// sizes) header `h`, the first next-size field at `at`, within `limit` bytes.
// Returns where the chain ends; bytes after it are padding.
std::size_t walkExtensions(const std::vector<std::uint8_t>& h, std::size_t at, std::size_t limit, std::size_t sizeBytes,
                           const std::string& where, MemberInfo& m, Extensions& x) {
  auto sizeAt = [&](std::size_t p) -> std::uint64_t { return sizeBytes == 2 ? get16(&h[p]) : get32(&h[p]); };
  std::size_t pos = at + sizeBytes;
  std::uint64_t next = sizeAt(at);
  while (next != 0) {
    if (next < 1 + sizeBytes || pos > limit || next > limit - pos)
      throw ArchiveError("bad extension header size" + where);
    const std::uint8_t type = h[pos];
    const std::string_view data(reinterpret_cast<const char*>(&h[pos + 1]), next - 1 - sizeBytes);
    if (type == kExtHeaderCrc && data.size() >= 2) x.crcAt = pos + 1;
    applyExtension(type, data, m, x);
    const std::uint64_t following = sizeAt(pos + next - sizeBytes);
    pos += next;
    next = following;
  }
  return pos;
}

void checkMethod(const std::vector<std::uint8_t>& h, std::uint64_t offset) {
  if (h[2] != '-' || h[6] != '-')
    throw ArchiveError("no method id in the member header at offset " + std::to_string(offset));
}

// Sets the member's path from the stored one, noting an absolute path, and
// takes a symbolic link's target from a name stored as "name|target".
void setPath(MemberInfo& m, std::string_view stored) {
  const bool symlinkMode = m.unixMode && (*m.unixMode & kFileTypeMask) == kSymlinkType;
  const std::size_t bar = vedo::sjis::findChar(stored, '|');
  if (bar != std::string_view::npos && (symlinkMode || (m.method == "-lhd-" && m.osId == 'U'))) {
    m.linkTarget = vedo::sjis::toSystemSeparators(stored.substr(bar + 1));
    stored = stored.substr(0, bar);
  }
  const std::string system = vedo::sjis::toSystemSeparators(stored);
  m.absolute = !system.empty() && system.front() == '/';
  m.path = normaliseStoredPath(system);
}

// OS-9 writers store OS-9 permission bits where a Unix mode belongs; they mean
// something else, so they are never used as one.
bool isOs9(std::uint8_t osId) { return osId == 'K' || osId == '9'; }

std::uint8_t byteSum(const std::uint8_t* p, std::size_t n) {
  std::uint8_t s = 0;
  for (std::size_t i = 0; i < n; ++i) s = static_cast<std::uint8_t>(s + p[i]);
  return s;
}

}  // namespace

std::vector<std::uint8_t> buildLevel2Header(const NewMemberHeader& h) {
  std::string_view path = h.path;
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string folder;
  if (slash != std::string_view::npos)
    for (char c : path.substr(0, slash + 1)) folder.push_back(c == '/' ? kFolderMark : c);

  std::vector<std::uint8_t> b(kLevel2BaseSize, 0);
  std::copy(h.method, h.method + 5, b.begin() + 2);
  put32(b, 7, h.packedSize);
  put32(b, 11, h.originalSize);
  put32(b, 15, h.mtime);
  b[19] = 0x20;
  b[20] = 2;
  put16(b, 21, h.crc);
  b[23] = 'U';

  std::size_t nextAt = 24;
  appendExt(b, nextAt, kExtHeaderCrc, std::string_view("\0\0", 2));
  const std::size_t crcAt = b.size() - 4;
  appendExt(b, nextAt, kExtFileName, name);
  if (!folder.empty()) appendExt(b, nextAt, kExtFolderName, folder);
  const char codePage[4] = {static_cast<char>(kCodePage932 & 0xFF), static_cast<char>(kCodePage932 >> 8), 0, 0};
  appendExt(b, nextAt, kExtCodePage, std::string_view(codePage, 4));
  const char mode[2] = {static_cast<char>(h.unixMode & 0xFF), static_cast<char>(h.unixMode >> 8)};
  appendExt(b, nextAt, kExtUnixMode, std::string_view(mode, 2));

  // A header whose size has a low byte of 0 would read as the archive's end
  // mark to a reader that looks at the first byte alone. Padding after the
  // extension headers would break readers that take the headers as one chain
  // to the header's end, so the header grows by an extension that carries
  // information instead: the Unix time (7 bytes).
  if ((b.size() & 0xFF) == 0) {
    const char time[4] = {static_cast<char>(h.mtime & 0xFF), static_cast<char>((h.mtime >> 8) & 0xFF),
                          static_cast<char>((h.mtime >> 16) & 0xFF), static_cast<char>(h.mtime >> 24)};
    appendExt(b, nextAt, kExtUnixTime, std::string_view(time, 4));
  }
  if (b.size() > 0xFFFF) throw ArchiveError("stored path too long for a member header");
  put16(b, 0, static_cast<std::uint32_t>(b.size()));
  put16(b, crcAt, lzh::crc16(0, b));
  return b;
}

std::string normaliseStoredPath(std::string_view path) {
  std::string out = vedo::sjis::toSystemSeparators(path);
  while (!out.empty() && out.front() == '/') out.erase(out.begin());
  return out;
}

namespace {

// Levels 0 and 1: an 8-bit header size and a byte-sum checksum; level 1 adds
// extension headers after the base header, counted in the "skip size".
void parseOldHeader(ReadAt read, void* ctx, std::uint64_t offset, std::uint64_t fileSize, const std::string& where,
                    std::vector<std::uint8_t>& h, MemberInfo& m, Extensions& x) {
  const std::size_t size = std::size_t{h[0]} + 2;
  const std::size_t minimum = m.level == 0 ? 24 : 27;
  if (size < minimum) throw ArchiveError("member header too short" + where);
  h = readExact(read, ctx, offset, size, fileSize);
  checkMethod(h, offset);
  if (byteSum(&h[2], size - 2) != h[1]) throw ArchiveError("member header checksum mismatch" + where);
  const std::size_t nameLen = h[21];
  if (22 + nameLen + 2 + (m.level == 1 ? 3 : 0) > size) throw ArchiveError("name past the member header" + where);
  std::string rawName(reinterpret_cast<const char*>(&h[22]), nameLen);
  // Some writers (Amiga) store a comment after a NUL in the name field.
  if (const std::size_t nul = rawName.find('\0'); nul != std::string::npos) rawName.resize(nul);
  m.crc = static_cast<std::uint16_t>(get16(&h[22 + nameLen]));
  m.attribute = h[19];
  const std::uint64_t skip = get32(&h[7]);
  std::uint64_t extBytes = 0;
  if (m.level == 0) {
    // Optional area after the CRC: an OS id and a minor version, and for 'U'
    // (and OS-9/68k 'K') the Unix time; 'U' goes on with mode, uid and gid.
    const std::size_t area = 22 + nameLen + 2;
    if (size > area) m.osId = h[area];
    if (size >= area + 6 && (h[area] == 'U' || h[area] == 'K')) m.unixTime = get32(&h[area + 2]);
    if (size >= area + 12 && h[area] == 'U') {
      m.unixMode = static_cast<std::uint16_t>(get16(&h[area + 6]));
      m.uid = static_cast<std::uint16_t>(get16(&h[area + 8]));
      m.gid = static_cast<std::uint16_t>(get16(&h[area + 10]));
    }
  } else {
    m.osId = h[size - 3];
    // The extension headers follow the base header; "skip size" covers them
    // and the packed data.
    std::size_t next = get16(&h[size - 2]);
    std::uint64_t pos = offset + size;
    while (next != 0) {
      if (next < 3 || next > skip - extBytes || extBytes + next > kMaxLevel1Extensions)
        throw ArchiveError("bad extension header size" + where);
      std::vector<std::uint8_t> e = readExact(read, ctx, pos, next, fileSize);
      const std::string_view data(reinterpret_cast<const char*>(&e[1]), next - 3);
      applyExtension(e[0], data, m, x);
      pos += next;
      extBytes += next;
      next = get16(&e[next - 2]);
    }
  }
  m.dataOffset = offset + size + extBytes;
  m.packedSize = skip - extBytes;
  if (!x.name) x.name = rawName;
}

// Levels 2 and 3: the whole header's size (16 bits at the start for level 2,
// 32 bits after the OS id for level 3), extension headers with 16-bit or
// 32-bit sizes, and an optional header CRC. Returns whether a header CRC was
// there (and right).
bool parseNewHeader(ReadAt read, void* ctx, std::uint64_t offset, std::uint64_t fileSize, const std::string& where,
                    std::vector<std::uint8_t>& h, MemberInfo& m, Extensions& x) {
  const bool level3 = m.level == 3;
  const std::size_t base = level3 ? kLevel3BaseSize : kLevel2BaseSize;
  h = readExact(read, ctx, offset, base, fileSize);
  checkMethod(h, offset);
  std::size_t size = 0;
  if (level3) {
    if (get16(&h[0]) != 4) throw ArchiveError("bad level-3 header" + where);
    const std::uint64_t total = get32(&h[24]);
    if (total > kMaxLevel3Header) throw ArchiveError("member header too long" + where);
    size = static_cast<std::size_t>(total);
  } else {
    size = get16(&h[0]);
  }
  if (size < base) throw ArchiveError("member header too short" + where);
  const std::size_t sizeBytes = level3 ? 4 : 2;
  const std::size_t firstNext = base - sizeBytes;
  m.osId = h[23];
  // OS-9/68k writers store a level-2 size two bytes short: the chain of
  // extension headers then ends exactly two bytes past it.
  if (!level3 && isOs9(m.osId) && size + 2 <= fileSize - offset) {
    const std::vector<std::uint8_t> longer = readExact(read, ctx, offset, size + 2, fileSize);
    MemberInfo probe = m;
    Extensions ignored;
    try {
      if (walkExtensions(longer, firstNext, size + 2, sizeBytes, where, probe, ignored) == size + 2) size += 2;
    } catch (const ArchiveError&) {
    }
  }
  h = readExact(read, ctx, offset, size, fileSize);
  m.packedSize = get32(&h[7]);
  m.unixTime = m.mtime;
  m.crc = static_cast<std::uint16_t>(get16(&h[21]));
  walkExtensions(h, firstNext, size, sizeBytes, where, m, x);
  if (x.crcAt) {
    const std::uint16_t stored = static_cast<std::uint16_t>(get16(&h[*x.crcAt]));
    h[*x.crcAt] = h[*x.crcAt + 1] = 0;
    if (lzh::crc16(0, h) != stored) throw ArchiveError("member header CRC mismatch" + where);
  }
  if (!x.name) throw ArchiveError("member header without a file name" + where);
  if (x.packedSize) {
    m.packedSize = *x.packedSize;
    m.originalSize = *x.originalSize;
  }
  m.dataOffset = offset + size;
  return x.crcAt.has_value();
}

// Parses the header at `offset`; `verified` tells whether a checksum or CRC
// of the header was there and right.
std::optional<MemberInfo> parseHeaderAt(ReadAt read, void* ctx, std::uint64_t offset, std::uint64_t fileSize,
                                        bool& verified) {
  const std::string where = " at offset " + std::to_string(offset);
  std::uint8_t first = 0;
  if (offset >= fileSize) return std::nullopt;  // end of file at a member boundary
  if (read(ctx, offset, &first, 1) != 1) throw ArchiveError("cannot read" + where);
  if (first == 0) return std::nullopt;  // the end mark

  // Bytes 0..20 are common enough to tell the level (byte 20).
  std::vector<std::uint8_t> h = readExact(read, ctx, offset, 21, fileSize);
  MemberInfo m;
  m.headerOffset = offset;
  m.level = h[20];
  m.method.assign(reinterpret_cast<const char*>(&h[2]), 5);
  m.originalSize = get32(&h[11]);
  m.mtime = get32(&h[15]);
  Extensions x;
  if (m.level == 0 || m.level == 1) {
    parseOldHeader(read, ctx, offset, fileSize, where, h, m, x);
    verified = true;
  } else if (m.level == 2 || m.level == 3) {
    verified = parseNewHeader(read, ctx, offset, fileSize, where, h, m, x);
  } else {
    throw ArchiveError("unsupported header level " + std::to_string(m.level) + where);
  }
  if (isOs9(m.osId)) m.unixMode.reset();
  setPath(m, x.folder.value_or("") + *x.name);
  if (m.dataOffset > fileSize || m.packedSize > fileSize - m.dataOffset)
    throw ArchiveError("member data past the end of the archive" + where);
  return m;
}

// Where the archive in a file starts: 0 when the file begins with a member
// header (or the end mark), else the first offset within kArchiveSearch bytes
// holding a member header whose checksum or CRC is right.
std::uint64_t archiveStart(ReadAt read, void* ctx, std::uint64_t fileSize) {
  auto methodAt = [](const std::vector<std::uint8_t>& b, std::size_t i) {
    return i + 7 <= b.size() && b[i + 2] == '-' && b[i + 6] == '-';
  };
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, 7)));
  head.resize(read(ctx, 0, head.data(), head.size()));
  if (head.empty() || head[0] == 0 || methodAt(head, 0)) return 0;
  head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kArchiveSearch + 7)));
  head.resize(read(ctx, 0, head.data(), head.size()));
  for (std::size_t i = 1; i + 7 <= head.size(); ++i) {
    if (!methodAt(head, i) || head[i] == 0) continue;
    try {
      bool verified = false;
      if (parseHeaderAt(read, ctx, i, fileSize, verified) && verified) return i;
    } catch (const ArchiveError&) {
    }
  }
  throw ArchiveError("no member header at the start or within the first " + std::to_string(kArchiveSearch >> 10) +
                     " KiB");
}

}  // namespace

std::optional<MemberInfo> parseMemberHeader(ReadAt read, void* ctx, std::uint64_t offset, std::uint64_t fileSize) {
  bool verified = false;
  return parseHeaderAt(read, ctx, offset, fileSize, verified);
}

std::uint32_t dosDateTime(std::int64_t unixTime) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr || tm.tm_year < 80) return (0u << 25) | (1u << 21) | (1u << 16);
  if (tm.tm_year > 80 + 127) tm.tm_year = 80 + 127;
  return (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) | (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<std::uint32_t>(tm.tm_mday) << 16) | (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
         (static_cast<std::uint32_t>(tm.tm_min) << 5) | (static_cast<std::uint32_t>(tm.tm_sec) / 2);
}

std::int64_t unixTimeFromDos(std::uint32_t dos) {
  std::tm tm{};
  tm.tm_year = static_cast<int>(dos >> 25) + 80;
  tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

namespace {

// FILETIME counts 100 ns steps since 1601-01-01.
constexpr std::int64_t kFileTimeTo1970 = 11644473600LL;

std::int64_t fromFileTime(std::uint64_t ft) {
  return static_cast<std::int64_t>(ft / 10000000u) - kFileTimeTo1970;
}

}  // namespace

std::optional<std::int64_t> modificationTime(const MemberInfo& m) {
  if (m.unixTime) return *m.unixTime;
  if (m.winWrite) return fromFileTime(*m.winWrite);
  if ((m.mtime >> 16) == 0) return std::nullopt;
  return unixTimeFromDos(m.mtime);
}

std::optional<std::int64_t> accessTime(const MemberInfo& m) {
  if (!m.winAccess) return std::nullopt;
  return fromFileTime(*m.winAccess);
}

std::optional<std::int64_t> creationTime(const MemberInfo& m) {
  if (!m.winCreate) return std::nullopt;
  return fromFileTime(*m.winCreate);
}

namespace {

// Every member header from the archive's start to its end, handed to `take`.
template <typename Take>
void walkArchive(ReadAt read, void* ctx, std::uint64_t fileSize, Take&& take) {
  std::uint64_t offset = archiveStart(read, ctx, fileSize);
  while (auto m = parseMemberHeader(read, ctx, offset, fileSize)) {
    offset = m->endOffset();
    take(std::move(*m));
  }
  if (fileSize == 0) throw ArchiveError("empty file");
}

}  // namespace

std::vector<MemberInfo> parseArchive(ReadAt read, void* ctx, std::uint64_t fileSize) {
  std::vector<MemberInfo> members;
  walkArchive(read, ctx, fileSize, [&](MemberInfo&& m) { members.push_back(std::move(m)); });
  return members;
}

std::size_t countArchiveMembers(ReadAt read, void* ctx, std::uint64_t fileSize) {
  std::size_t count = 0;
  walkArchive(read, ctx, fileSize, [&](MemberInfo&&) { ++count; });
  return count;
}

}  // namespace unlha
