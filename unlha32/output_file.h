#pragma once
// Buffered writing of the archive being built, with the two moves the writer
// needs beyond appending: filling in a header written earlier, and cutting the
// file back to drop data that is to be written again in another form.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace unlha {

class OutputFile {
 public:
  // Takes no ownership of fd; `name` is used in messages.
  OutputFile(int fd, std::string name);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::span<const std::uint8_t> data);
  std::uint64_t position() const { return flushed_ + buffer_.size(); }
  // Overwrites bytes already written (flushes the buffer first).
  void writeAt(std::uint64_t offset, std::span<const std::uint8_t> data);
  // Drops everything from `offset` on; later writes continue there.
  void truncateTo(std::uint64_t offset);
  void flush();
  // Flushes and makes the data durable.
  void sync();

 private:
  [[noreturn]] void fail(const char* what, int err) const;

  int fd_;
  std::string name_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t flushed_ = 0;
};

// Reads exactly data.size() bytes at `offset` of fd, or fewer at the end of the
// file; returns how many. Retries interrupted and short reads. -1 on error.
long long readFullyAt(int fd, std::uint64_t offset, std::span<std::uint8_t> data);

}  // namespace unlha
