#pragma once
// Writes one file as a member of the archive being built, and checks a written
// member by decoding it again.

#include <cstdint>
#include <functional>
#include <string>

#include "lzh_codec.h"
#include "output_file.h"
#include "source_scan.h"

namespace unlha {

// What was written for one new member.
struct WrittenMember {
  std::string stored;
  std::uint64_t headerOffset = 0;
  std::uint32_t originalSize = 0;
  std::uint32_t packedSize = 0;
  std::uint16_t crc = 0;
  lzh::Method method = lzh::Method::Lh0;
};

// Members must stay below this size: the level-2 header holds 32-bit sizes, and
// the readers in the distribution cannot read the 64-bit size extension.
inline constexpr std::uint64_t kMaxMemberSize = 0xFFFFFFFFull;

// Called with the number of source bytes read since the last call, on the
// thread that runs writeMember.
using BytesRead = std::function<void(std::uint64_t)>;

// Appends `file` to `out`: a level-2 header, then the data compressed with
// `method`. When the compressed data would not be smaller than the file (or the
// file is empty) the data is cut off again and the file is read a second time
// and stored as -lh0-, so memory stays bounded whatever the file size. Throws
// CommandError: UNLHA_ERROR_READ, UNLHA_ERROR_TOO_LARGE, UNLHA_ERROR_NAME or
// UNLHA_ERROR_WRITE.
WrittenMember writeMember(ByteOutput& out, const SourceFile& file, lzh::Method method,
                          const BytesRead& progress);

// Decodes the member written at `member.headerOffset` of the archive open as
// `fd` (`fileSize` bytes) and checks its header, its length and its CRC against
// what was written. Throws CommandError (UNLHA_ERROR_VERIFY).
void verifyMember(int fd, std::uint64_t fileSize, const WrittenMember& member);

// The 5-byte method id, e.g. "-lh5-".
const char* methodId(lzh::Method method);

}  // namespace unlha
