#pragma once
// Buffered writing of the archive being built, with the two moves the writer
// needs beyond appending: filling in a header written earlier, and cutting the
// file back to drop data that is to be written again in another form.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "unlha32/archive/sync_behind.h"
#include "unlha32/codec/large_buffer.h"

namespace unlha {

// Where a member is written: the archive file itself, or memory when members
// are compressed ahead in parallel and appended in order afterwards.
class ByteOutput {
 public:
  virtual ~ByteOutput() = default;
  virtual void write(std::span<const std::uint8_t> data) = 0;
  virtual std::uint64_t position() const = 0;
  // Overwrites bytes already written.
  virtual void writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) = 0;
  // Drops everything from `offset` on; later writes continue there.
  virtual void truncateTo(std::uint64_t offset) = 0;
};

class MemoryOutput final : public ByteOutput {
 public:
  void write(std::span<const std::uint8_t> data) override { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  std::uint64_t position() const override { return bytes_.size(); }
  void writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
    std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  void truncateTo(std::uint64_t offset) override { bytes_.resize(static_cast<std::size_t>(offset)); }
  std::span<const std::uint8_t> bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

class OutputFile final : public ByteOutput {
 public:
  // Takes no ownership of fd; `name` is used in messages.
  OutputFile(int fd, std::string name);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::span<const std::uint8_t> data) override;
  std::uint64_t position() const override { return flushed_ + buffer_.size(); }
  // Bytes already handed to the file; the rest up to position() is buffered.
  std::uint64_t flushedSize() const { return flushed_; }
  // Flushes the buffer first.
  void writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) override;
  void truncateTo(std::uint64_t offset) override;
  void flush();
  // Waits until the bytes flushed so far are on the disk. A failure is
  // thrown here: once the system has reported it, a later sync may not see
  // it again (also a failure of the syncs behind the writing). May run on
  // another thread while nothing is written.
  void syncFlushed();
  // From now on the file is synced a step behind the writing (SyncBehind),
  // for a writer that syncs it at the end (syncFlushed).
  void syncBehind();

 private:
  // `what` is a message of the library (messages.h), translated here.
  [[noreturn]] void fail(const char* what, int err) const;

  int fd_;
  std::string name_;
  lzh::LargeBytes buffer_;
  std::uint64_t flushed_ = 0;
  std::unique_ptr<SyncBehind> behind_;
};

// Reads exactly data.size() bytes at `offset` of fd, or fewer at the end of the
// file; returns how many. Retries interrupted and short reads. -1 on error.
// `end`: where the file is known to end; a read that stops short there is
// taken as the end, without asking again for the system's zero-byte answer.
long long readFullyAt(int fd, std::uint64_t offset, std::span<std::uint8_t> data,
                      std::uint64_t end = std::numeric_limits<std::uint64_t>::max());

}  // namespace unlha
