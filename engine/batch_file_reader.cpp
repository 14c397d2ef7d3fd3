#include "engine/batch_file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/batch_io_error.h"
#include "platform/file_system.h"

namespace vedo {
namespace {

constexpr char kCarriageReturn = 0x0D;
constexpr char kLineFeed = 0x0A;
constexpr char kEndOfFile = 0x1A;

// Read in large blocks: a batch file is small, but a line may be of any length.
constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

BatchFileReader::BatchFileReader(std::string_view path) : buffer_(kBlockSize) {
  const auto sys = fs::toSystemPath(path);
  if (!sys) ThrowBatchIoError(EILSEQ);
  // Opened without blocking, so that a FIFO without a writer cannot hang the
  // run; reads then block again as for any file.
  fd_.reset(::open(sys->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd_) ThrowBatchIoError(errno);
  const int flags = ::fcntl(fd_.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) ThrowBatchIoError(errno);
}

// A descriptor still open here is closed without a word: the run already
// ends, and a second error has nobody to tell.
BatchFileReader::~BatchFileReader() = default;

bool BatchFileReader::fill() {
  if (pos_ < size_) return true;
  if (eof_ || !fd_) return false;
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer_.data(), buffer_.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowBatchIoError(errno);
    }
    pos_ = 0;
    size_ = static_cast<std::size_t>(n);
    if (n == 0) eof_ = true;
    return n > 0;
  }
}

bool BatchFileReader::atEnd() {
  if (!fill()) return true;
  if (buffer_[pos_] == kEndOfFile) {
    eof_ = true;
    pos_ = size_ = 0;
    return true;
  }
  return false;
}

std::string BatchFileReader::readLine() {
  std::string line;
  while (!atEnd()) {
    const char* begin = buffer_.data() + pos_;
    const char* end = buffer_.data() + size_;
    const char* stop = begin;
    while (stop != end && *stop != kCarriageReturn && *stop != kEndOfFile) ++stop;
    line.append(begin, stop);
    pos_ += static_cast<std::size_t>(stop - begin);
    if (stop == end) continue;  // the line goes on in the next block
    if (*stop == kEndOfFile) break;  // atEnd() stops there from now on
    ++pos_;  // the carriage return
    if (fill() && buffer_[pos_] == kLineFeed) ++pos_;
    break;
  }
  return line;
}

void BatchFileReader::close() {
  if (const int err = fd_.close(); err != 0 && err != EINTR) ThrowBatchIoError(err);
}

}  // namespace vedo
