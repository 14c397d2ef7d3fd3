#pragma once
// Reading an existing archive: opening it, choosing members by pattern, and
// decoding a member's data with its length and CRC checked.

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "unlha32/archive/archive_file.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha {

// An archive opened for reading, with every member header parsed.
struct ReadArchive {
  std::string display;  // as the caller named it (CP932)
  Fd fd;
  struct stat status {};
  std::vector<MemberInfo> members;
  std::uint64_t size() const { return static_cast<std::uint64_t>(status.st_size); }
};

// Opens and parses the archive. Throws CommandError: UNLHA_ERROR_NAME,
// UNLHA_ERROR_READ (cannot open or not a file), UNLHA_ERROR_BAD_ARCHIVE.
ReadArchive openForReading(const std::string& archive);

// The codec method that decodes a method id; nullopt for ids this library
// cannot decode (directories, -lhd-, have no data to decode). -lh4- is the
// -lh5- bit stream with a 4 KiB window, so the -lh5- decoder reads it as is;
// -lz4- and -pm0- store their data as -lh0- does.
std::optional<lzh::Method> decodingMethod(std::string_view id);

// Whether a member matches a pattern (CP932, "*" and "?" as wildcards). A
// pattern without a folder separator is matched against the member's name
// part, so "*.txt" finds text files in every folder; one with a separator is
// matched against the whole stored path ("\" and "/" alike). A directory
// member is matched without its trailing "/".
bool memberMatches(const MemberInfo& m, std::string_view pattern);

// Marks the members that any of `patterns` matches (all when there are none).
// Throws CommandError(UNLHA_ERROR_NO_MATCH) naming a pattern that matches no
// member.
std::vector<bool> selectMembers(const std::vector<MemberInfo>& members, const std::vector<std::string>& patterns);

// Decodes member `m`'s data, handing it to `sink` in pieces, and checks its
// length and CRC. Throws CommandError: UNLHA_ERROR_NOT_SUPPORTED for a method
// this library cannot decode (and for a member that looks like LHARK's variant
// of -lh7- and does not decode as -lh7-), UNLHA_ERROR_CRC for damaged data, UNLHA_ERROR_READ
// when the archive cannot be read. `sink` may throw to stop.
using DataSink = std::function<void(std::span<const std::uint8_t>)>;
void decodeMemberData(const ReadArchive& archive, const MemberInfo& m, const DataSink& sink);

}  // namespace unlha
