#pragma once
// Writes one file as a member of the archive being built.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "unlha32/archive/output_file.h"
#include "unlha32/archive/parallel_runs.h"
#include "unlha32/archive/scratch_buffer.h"
#include "unlha32/archive/source_scan.h"
#include "unlha32/archive/worker_pool.h"
#include "unlha32/codec/lzh_codec.h"

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
  ScratchBuffer buffer;
  ParallelRuns::Memory runs;  // for members compressed in runs
};

// Told about a large member's packed data while it streams into the archive,
// so that it can be checked before the member is complete (MemberChecker).
class PackedDataWatch {
 public:
  virtual ~PackedDataWatch() = default;
  // Packed data of `method` begins at `dataOffset` for the member whose header
  // is at `headerOffset`; it decodes to `size` bytes unless the file changes
  // while it is read.
  virtual void started(std::uint64_t headerOffset, std::uint64_t dataOffset, lzh::Method method,
                       std::uint64_t size) = 0;
  // More packed data was handed to the output.
  virtual void wrote() = 0;
  // The packed data written since started() is about to be cut off: the file
  // is stored instead.
  virtual void dropped() = 0;
};

// Appends `file` to `out`: a level-2 header, then the data compressed with
// `method`. When the compressed data would not be smaller than the file (or the
// file is empty) the data is cut off again and the file is read a second time
// and stored as -lh0-, so memory stays bounded whatever the file size. A file
// that fits in one read buffer is read once. `scratch` may be null. Throws
// CommandError: UNLHA_ERROR_READ, UNLHA_ERROR_TOO_LARGE, UNLHA_ERROR_NAME or
// UNLHA_ERROR_WRITE.
//
// A file of more than one run is compressed in runs on the workers of `pool`
// (see ParallelRuns) when it has more than one. Called on a worker of that
// pool, `pool` must be null: a task never waits for another. `watch`, when
// given, hears about the packed data of a member compressed in runs.
WrittenMember writeMember(ByteOutput& out, const SourceFile& file, lzh::Method method,
                          const BytesRead& progress, MemberScratch* scratch = nullptr, WorkerPool* pool = nullptr,
                          PackedDataWatch* watch = nullptr);

// The 5-byte method id, e.g. "-lh5-".
const char* methodId(lzh::Method method);

}  // namespace unlha
