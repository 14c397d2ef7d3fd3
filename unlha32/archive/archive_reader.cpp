#include "unlha32/archive/archive_reader.h"

#include <cstring>

#include "unlha32/archive/output_file.h"

namespace unlha {
namespace {

// Window of the archive held by an ArchiveReader. Members' headers and the
// packed data of small members are read through it; reads of kDirectRead or
// more (the decoder's chunks of a large member) go straight to the caller's
// buffer, saving a copy. Each page of the window costs a page fault when a
// read first fills it (about 15 us on the benchmarks' virtual machine), more
// than the read calls a larger window saves: the writer's checks of 783 small
// files read their 2.5 MB in about 40 calls more through 64 KiB than through
// 256 KiB, and take about 100 faults fewer (bench/README.md).
constexpr std::size_t kReadWindow = 64 << 10;
constexpr std::size_t kDirectRead = 32 << 10;

}  // namespace

ArchiveReader::ArchiveReader(int fd, std::uint64_t fileSize) : fd_(fd), fileSize_(fileSize) {}

long long ArchiveReader::read(std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  if (offset >= fileSize_) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, fileSize_ - offset));
  if (size >= kDirectRead) return readFullyAt(fd_, offset, std::span(out, size));
  if (offset < start_ || offset + size > start_ + length_) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadWindow, fileSize_ - offset));
    const std::span<std::uint8_t> window = window_.get(want, kReadWindow);
    windowData_ = window.data();
    const long long n = readFullyAt(fd_, offset, window);
    if (n < 0) {
      length_ = 0;
      return -1;
    }
    start_ = offset;
    length_ = static_cast<std::size_t>(n);
  }
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, start_ + length_ - offset));
  std::memcpy(out, windowData_ + (offset - start_), n);
  return static_cast<long long>(n);
}

std::size_t ArchiveReader::readAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const long long n = static_cast<ArchiveReader*>(context)->read(offset, out, size);
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::span<std::uint8_t> ArchiveReader::buffer(std::size_t size) { return buffer_.get(size); }

}  // namespace unlha
