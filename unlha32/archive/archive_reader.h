#pragma once
// Reads of a finished (or growing) archive through a window held in memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "unlha32/archive/scratch_buffer.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha {

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
  // Memory for the caller's decoders, kept for the same reason.
  lzh::DecoderWorkspace& decoderMemory() { return decoderMemory_; }

 private:
  int fd_;
  std::uint64_t fileSize_;
  ScratchBuffer window_;
  const std::uint8_t* windowData_ = nullptr;
  std::uint64_t start_ = 0;  // file offset of windowData_[0]
  std::size_t length_ = 0;   // valid bytes at windowData_
  ScratchBuffer buffer_;
  lzh::DecoderWorkspace decoderMemory_;
};

}  // namespace unlha
