#pragma once
// Member headers of an LZH archive: building the level-2 header this library
// writes, and parsing the level-0 to level-3 headers an existing archive may
// hold. Parsing is strict and bounds-checked: every length field is
// checked against the bytes actually present before it is used.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace unlha {

// A damaged or unsupported archive; the message says what and where.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the writer puts into a level-2 header.
struct NewMemberHeader {
  char method[5] = {'-', 'l', 'h', '0', '-'};
  std::uint32_t packedSize = 0;
  std::uint32_t originalSize = 0;
  std::uint32_t mtime = 0;     // seconds since 1970 (UTC)
  std::uint16_t crc = 0;       // CRC-16 of the original data
  std::uint16_t unixMode = 0;  // st_mode: file type and permission bits
  std::string path;            // CP932, folders separated by "/", no leading "/"
};

// Largest stored path a level-2 header can hold (its total size is 16 bits).
inline constexpr std::size_t kMaxStoredPath = 60000;

// Builds the whole level-2 header (base header and extension headers: header
// CRC, file name, folder name when the path has one, code page 932, Unix mode,
// and the Unix time where the size would otherwise have a low byte of 0). Its
// size depends only on the path, never on sizes, times, CRC or method, so a
// writer can reserve it before the data is known and fill it in afterwards.
std::vector<std::uint8_t> buildLevel2Header(const NewMemberHeader& h);

// One member found in an existing archive.
struct MemberInfo {
  int level = 0;
  std::string method;             // the 5-byte method id, e.g. "-lh5-"
  std::uint64_t headerOffset = 0; // where the member's header starts
  std::uint64_t dataOffset = 0;   // where its packed data starts
  std::uint64_t packedSize = 0;
  std::uint64_t originalSize = 0;
  std::uint16_t crc = 0;
  std::uint32_t mtime = 0;        // Unix time for levels 2 and 3; MS-DOS date/time otherwise
  std::string path;               // CP932, folders separated by "/", no leading "/"
  // The stored path began with a separator (an absolute path); `path` has it
  // removed, so an extractor places the member inside its folder all the same.
  bool absolute = false;
  // A symbolic link (stored as "name|target"): where it points, CP932 with "/"
  // between folders, as stored (it may climb with ".." or be absolute).
  std::optional<std::string> linkTarget;

  // What the header says beyond the essentials; absent fields stay unset.
  std::uint8_t osId = 0;                 // 'U', 'M', 'w', 'W', 0 ...
  std::uint8_t attribute = 0x20;         // MS-DOS attribute (base byte or extension 0x40)
  std::optional<std::uint16_t> unixMode; // st_mode bits (extension 0x50, level-0 'U' area)
  std::optional<std::uint16_t> uid, gid; // extension 0x51, level-0 'U' area
  std::optional<std::uint32_t> unixTime; // seconds since 1970 (level 2 base, 0x54, 'U' area)
  // Windows FILETIME values (100 ns since 1601) of extension 0x41.
  std::optional<std::uint64_t> winCreate, winWrite, winAccess;
  std::optional<std::uint32_t> codePage; // extension 0x46

  // A folder: the folder method, or (as some writers store folders) an empty
  // member whose path ends with "/". A symbolic link is no folder, though it
  // carries the folder method.
  bool isDirectory() const {
    return !linkTarget && (method == "-lhd-" || (originalSize == 0 && !path.empty() && path.back() == '/'));
  }
  bool isSymlink() const { return linkTarget.has_value(); }
  // Whole member (header and data) occupies [headerOffset, endOffset).
  std::uint64_t endOffset() const { return dataOffset + packedSize; }
};

// Modification time of a member as Unix time: the Unix time where the header
// has one, else the Windows write time, else the MS-DOS date and time read as
// local time. nullopt for an MS-DOS date of 0, which some writers store for
// "no time".
std::optional<std::int64_t> modificationTime(const MemberInfo& m);
// Access and creation time from the Windows time stamps; nullopt without them.
std::optional<std::int64_t> accessTime(const MemberInfo& m);
std::optional<std::int64_t> creationTime(const MemberInfo& m);
// MS-DOS date (high 16 bits) and time (low 16 bits) in local time.
std::uint32_t dosDateTime(std::int64_t unixTime);
std::int64_t unixTimeFromDos(std::uint32_t dosDateTime);

// How far into a file the first member header of a self-extracting archive is looked for.
inline constexpr std::uint64_t kArchiveSearch = 64 << 10;

// Reads up to `size` bytes at `offset`; returns how many were read (fewer only at
// the end of the input).
using ReadAt = std::size_t (*)(void* context, std::uint64_t offset, std::uint8_t* out,
                               std::size_t size);

// Parses every member header of an archive of `fileSize` bytes, checking each
// field against the bounds of the file. The archive ends with a 0x00 byte (or,
// tolerated, exactly at the end of the file). A file that does not begin with a
// member header (a self-extracting archive: a program, then the archive) is
// searched for the first header within its leading kArchiveSearch bytes whose
// checksum or CRC is right; the first member's headerOffset then tells where
// the archive starts. Throws ArchiveError.
std::vector<MemberInfo> parseArchive(ReadAt read, void* context, std::uint64_t fileSize);
// The same parse, keeping only the number of members: a writer's check of the
// archive it made, which needs no list of them.
std::size_t countArchiveMembers(ReadAt read, void* context, std::uint64_t fileSize);

// Parses the member header that starts at `offset`; nullopt at the end mark.
std::optional<MemberInfo> parseMemberHeader(ReadAt read, void* context, std::uint64_t offset,
                                            std::uint64_t fileSize);

// Turns the name of an old-style header ("\" between folders, character-wise in
// CP932) into the "/"-separated form used to compare names.
std::string normaliseStoredPath(std::string_view path);

}  // namespace unlha
