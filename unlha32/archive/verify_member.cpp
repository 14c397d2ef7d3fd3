#include "unlha32/archive/verify_member.h"

#include <cerrno>
#include <optional>
#include <string>

#include "unlha32/archive/command_error.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

// Bytes of stored (-lh0-) data checked per read.
constexpr std::size_t kChunkSize = 256 << 10;

}  // namespace

void verifyFailed(const WrittenMember& member, const std::string& why) {
  throw CommandError(UNLHA_ERROR_VERIFY, "verification of \"" + member.stored + "\" failed: " + why);
}

MemberInfo checkWrittenHeader(ArchiveReader& archive, const WrittenMember& member) {
  std::optional<MemberInfo> info;
  try {
    info = parseMemberHeader(ArchiveReader::readAt, &archive, member.headerOffset, archive.fileSize());
  } catch (const ArchiveError& e) {
    verifyFailed(member, e.what());
  }
  if (!info) verifyFailed(member, "member header missing");
  if (info->level != 2 || info->path != member.stored || info->method != methodId(member.method) ||
      info->crc != member.crc || info->originalSize != member.originalSize ||
      info->packedSize != member.packedSize)
    verifyFailed(member, "member header does not hold what was written");
  return *info;
}

void checkDecoded(const WrittenMember& member, std::uint64_t count, std::uint16_t crc) {
  if (count != member.originalSize) verifyFailed(member, "decoded length differs");
  if (crc != member.crc) verifyFailed(member, "CRC differs");
}

void verifyMember(int fd, std::uint64_t fileSize, const WrittenMember& member) {
  ArchiveReader archive(fd, fileSize);
  verifyMember(archive, member);
}

void verifyMember(ArchiveReader& archive, const WrittenMember& member, const std::atomic<bool>* stop) {
  const MemberInfo info = checkWrittenHeader(archive, member);
  std::uint64_t offset = info.dataOffset;
  const std::uint64_t end = info.endOffset();
  auto source = [&](std::span<std::uint8_t> buffer) -> std::size_t {
    if (stop && stop->load(std::memory_order_relaxed)) throw CheckStopped{};
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
    const long long n = archive.read(offset, buffer.data(), want);
    if (n < 0) verifyFailed(member, "cannot read the archive: " + systemMessage(errno));
    offset += static_cast<std::uint64_t>(n);
    return static_cast<std::size_t>(n);
  };

  std::uint64_t count = 0;
  std::uint16_t crc = 0;
  try {
    if (member.method == lzh::Method::Lh0) {
      const std::span<std::uint8_t> buf = archive.buffer(static_cast<std::size_t>(
          std::clamp<std::uint64_t>(std::uint64_t{member.originalSize} + 1, 4096, kChunkSize)));
      while (const std::size_t n = source(buf)) {
        crc = lzh::crc16(crc, buf.first(n));
        count += n;
      }
    } else {
      lzh::Decoder decoder(member.method, source, info.packedSize, info.originalSize, &archive.decoderMemory());
      for (std::span<const std::uint8_t> part; !(part = decoder.readView()).empty();) {
        crc = lzh::crc16(crc, part);
        count += part.size();
      }
    }
  } catch (const lzh::FormatError& e) {
    verifyFailed(member, e.what());
  }
  checkDecoded(member, count, crc);
}

}  // namespace unlha
