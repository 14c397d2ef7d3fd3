#pragma once
// Writes one file as a member of the archive being built, and checks a written
// member by decoding it again.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

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

// Memory a thread reuses from one member to the next, so that a folder of
// small files does not allocate (and page-fault) fresh buffers for each.
struct MemberScratch {
  lzh::EncoderWorkspace encoder;
  std::vector<std::uint8_t> buffer;
};

// Appends `file` to `out`: a level-2 header, then the data compressed with
// `method`. When the compressed data would not be smaller than the file (or the
// file is empty) the data is cut off again and the file is read a second time
// and stored as -lh0-, so memory stays bounded whatever the file size. A file
// that fits in one read buffer is read once. `scratch` may be null. Throws
// CommandError: UNLHA_ERROR_READ, UNLHA_ERROR_TOO_LARGE, UNLHA_ERROR_NAME or
// UNLHA_ERROR_WRITE.
//
// A file of more than one run is compressed in runs on `threads` threads at
// once (see ParallelRuns) when `threads` is above 1.
WrittenMember writeMember(ByteOutput& out, const SourceFile& file, lzh::Method method,
                          const BytesRead& progress, MemberScratch* scratch = nullptr, unsigned threads = 1);

// Reads of a finished archive through a window of it held in memory: headers
// and the packed data of small neighbouring members then take one system call
// for many members instead of several each. Large reads go to the file
// directly. The bytes below fileSize() must not change while a reader is in
// use; the file may grow beyond it (the archive still being written).
class ArchiveReader {
 public:
  ArchiveReader(int fd, std::uint64_t fileSize);

  // Reads `size` bytes at `offset` (fewer at the end of the file); -1 with
  // errno on a failed read.
  long long read(std::uint64_t offset, std::uint8_t* out, std::size_t size);

  // Adapter for parseArchive() and parseMemberHeader(): `context` is an ArchiveReader.
  static std::size_t readAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size);

  std::uint64_t fileSize() const { return fileSize_; }
  // Lets reads reach up to `size`: the file has grown, the bytes below the
  // old size stayed as they were.
  void extendTo(std::uint64_t size) { fileSize_ = std::max(fileSize_, size); }

  // A buffer of `size` bytes for the caller (decoded data), valid until the
  // next call; kept, so that checking many members allocates it once.
  std::span<std::uint8_t> buffer(std::size_t size);

 private:
  int fd_;
  std::uint64_t fileSize_;
  std::vector<std::uint8_t> window_;
  std::uint64_t start_ = 0;  // file offset of window_[0]
  std::size_t length_ = 0;   // valid bytes in window_
  std::vector<std::uint8_t> buffer_;
};

// Thrown by verifyMember when `stop` turned true during the check.
struct CheckStopped {};

// Decodes the member written at `member.headerOffset` of the archive and
// checks its header, its length and its CRC against what was written. Throws
// CommandError (UNLHA_ERROR_VERIFY). `stop`, when given, is looked at before
// every read of packed data.
void verifyMember(ArchiveReader& archive, const WrittenMember& member, const std::atomic<bool>* stop = nullptr);
// The same for the archive open as `fd` (`fileSize` bytes).
void verifyMember(int fd, std::uint64_t fileSize, const WrittenMember& member);

// The 5-byte method id, e.g. "-lh5-".
const char* methodId(lzh::Method method);

}  // namespace unlha
