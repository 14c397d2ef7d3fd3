#include "unlha32/archive/archive_reader.h"

#include <cstring>

#include "unlha32/archive/output_file.h"

namespace unlha {
namespace {

// Window of the archive held by an ArchiveReader. Members' headers and the
// packed data of small members are read through it; reads of kDirectRead or
// more (the decoder's chunks of a large member) go straight to the caller's
// buffer, saving a copy.
constexpr std::size_t kReadWindow = 256 << 10;
constexpr std::size_t kDirectRead = 32 << 10;

}  // namespace

ArchiveReader::ArchiveReader(int fd, std::uint64_t fileSize) : fd_(fd), fileSize_(fileSize) {}

long long ArchiveReader::read(std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  if (offset >= fileSize_) return 0;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, fileSize_ - offset));
  if (size >= kDirectRead) return readFullyAt(fd_, offset, std::span(out, size));
  if (offset < start_ || offset + size > start_ + length_) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadWindow, fileSize_ - offset));
    if (window_.size() < want) window_.resize(want);
    const long long n = readFullyAt(fd_, offset, std::span(window_.data(), want));
    if (n < 0) {
      length_ = 0;
      return -1;
    }
    start_ = offset;
    length_ = static_cast<std::size_t>(n);
  }
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, start_ + length_ - offset));
  std::memcpy(out, window_.data() + (offset - start_), n);
  return static_cast<long long>(n);
}

std::size_t ArchiveReader::readAt(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const long long n = static_cast<ArchiveReader*>(context)->read(offset, out, size);
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::span<std::uint8_t> ArchiveReader::buffer(std::size_t size) {
  if (buffer_.size() < size) buffer_.resize(size);
  return std::span(buffer_.data(), size);
}

}  // namespace unlha
