#include "unlha32/archive/output_file.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/cp932.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

// Large enough that the system call cost disappears, small enough to keep
// memory bounded whatever the archive size.
constexpr std::size_t kBufferSize = 1 << 20;

}  // namespace

// strerror speaks the user's language in the locale's encoding, while every
// text of the library is CP932: a text that does not convert is given in
// English instead.
std::string systemMessage(int err) {
  const std::string text = std::strerror(err);
  const char* codeset = nl_langinfo(CODESET);
  if (codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0) {
    if (auto sjis = vedo::cp932::fromUtf8(text)) return *sjis;
  } else if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return text;
  }
  static const locale_t english = newlocale(LC_ALL_MASK, "C", nullptr);
  return english != nullptr ? strerror_l(err, english) : "system error " + std::to_string(err);
}

OutputFile::OutputFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
  buffer_.reserve(kBufferSize);
}

void OutputFile::fail(const char* what, int err) const {
  throw CommandError(UNLHA_ERROR_WRITE, tr(what) + " \"" + name_ + "\": " + systemMessage(err));
}

void OutputFile::write(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const std::size_t room = kBufferSize - buffer_.size();
    const std::size_t n = std::min(room, data.size());
    buffer_.append(data.first(n));
    data = data.subspan(n);
    if (buffer_.size() == kBufferSize) flush();
  }
}

void OutputFile::flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                               static_cast<off_t>(flushed_ + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write", errno);
    }
    done += static_cast<std::size_t>(n);
  }
  // Start writing these bytes to the disk now, while the work goes on, so
  // that the sync at the end waits for little more than the last of them.
  // Only a head start: sync() is what makes the file durable and reports a
  // failed write, so a refusal here (a file system without it) changes nothing.
  (void)::sync_file_range(fd_, static_cast<off_t>(flushed_), static_cast<off_t>(buffer_.size()),
                          SYNC_FILE_RANGE_WRITE);
  flushed_ += buffer_.size();
  buffer_.clear();
  if (behind_) behind_->written(flushed_);
}

void OutputFile::syncBehind() { behind_ = std::make_unique<SyncBehind>(fd_); }

void OutputFile::syncFlushed() {
  if (behind_) {
    const int err = behind_->finish();
    if (err != 0) fail("cannot write", err);
  }
  // EINVAL: a file that cannot be synced (no disk behind it); the sync
  // before the rename decides about those.
  if (::fdatasync(fd_) != 0 && errno != EINVAL) fail("cannot write", errno);
}

void OutputFile::writeAt(std::uint64_t offset, std::span<const std::uint8_t> data) {
  flush();
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write", errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

void OutputFile::truncateTo(std::uint64_t offset) {
  flush();
  if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0) fail("cannot truncate", errno);
  flushed_ = offset;
}

long long readFullyAt(int fd, std::uint64_t offset, std::span<std::uint8_t> data, std::uint64_t end) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    if (offset + done == end) break;
  }
  return static_cast<long long>(done);
}

}  // namespace unlha
