#pragma once
// Checks a written member by decoding it again.

#include <atomic>
#include <cstdint>

#include "unlha32/archive/archive_reader.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/member_writer.h"

namespace unlha {

// Thrown by verifyMember when `stop` turned true during the check.
struct CheckStopped {};

// Decodes the member written at `member.headerOffset` of the archive and
// checks its header, its length and its CRC against what was written. Throws
// CommandError (UNLHA_ERROR_VERIFY). `stop`, when given, is looked at before
// every read of packed data.
void verifyMember(ArchiveReader& archive, const WrittenMember& member, const std::atomic<bool>* stop = nullptr);
// The same for the archive open as `fd` (`fileSize` bytes).
void verifyMember(int fd, std::uint64_t fileSize, const WrittenMember& member);

// The steps of verifyMember, for a check that decodes the packed data while it
// is written (MemberChecker) and reads the header once it is final.
// Reads the member's header and compares it with what was written.
MemberInfo checkWrittenHeader(ArchiveReader& archive, const WrittenMember& member);
// Compares the length and the CRC the packed data decoded to with what was written.
void checkDecoded(const WrittenMember& member, std::uint64_t count, std::uint16_t crc);
// Throws the failure of `member`'s check, saying `why`.
[[noreturn]] void verifyFailed(const WrittenMember& member, const std::string& why);

}  // namespace unlha
