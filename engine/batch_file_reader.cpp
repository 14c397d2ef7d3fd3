#include "engine/batch_file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/batch_io_error.h"
#include "platform/cp932.h"
#include "platform/file_system.h"

namespace vedo {
namespace {

constexpr char kCarriageReturn = 0x0D;
constexpr char kLineFeed = 0x0A;
constexpr char kEndOfFile = 0x1A;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr std::size_t kBlockSize = 64 * 1024;

// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF) and holds at least one non-ASCII character. Plain
// ASCII is CP932 as well, so only a non-ASCII character tells the two apart;
// CP932 text with double-byte characters is almost never valid UTF-8.
bool isUtf8WithNonAscii(std::string_view s) {
  bool nonAscii = false;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    nonAscii = true;
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // the allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) low = 0xA0;   // no overlong forms
      if (b == 0xED) high = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
      return false;
    }
    if (i + length > s.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return nonAscii;
}

}  // namespace

BatchFileReader::BatchFileReader(std::string_view path) {
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

void BatchFileReader::load() {
  if (loaded_) return;
  loaded_ = true;
  std::string block(kBlockSize, '\0');
  for (;;) {
    const ssize_t n = ::read(fd_.get(), block.data(), block.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowBatchIoError(errno);
    }
    if (n == 0) break;
    const std::string_view got(block.data(), static_cast<std::size_t>(n));
    const std::size_t end = got.find(kEndOfFile);
    bytes_.append(got.substr(0, end));
    if (end != std::string_view::npos) break;  // the rest of the file is not read
  }
  if (bytes_.starts_with(kByteOrderMark)) {
    bytes_.erase(0, kByteOrderMark.size());
    utf8_ = true;
  } else {
    utf8_ = isUtf8WithNonAscii(bytes_);
  }
}

bool BatchFileReader::atEnd() {
  load();
  return pos_ >= bytes_.size();
}

BatchFileLine BatchFileReader::readLine() {
  load();
  BatchFileLine line;
  if (pos_ >= bytes_.size()) return line;
  std::size_t stop = bytes_.find_first_of(std::string_view("\r\n", 2), pos_);
  if (stop == std::string::npos) stop = bytes_.size();
  line.text = bytes_.substr(pos_, stop - pos_);
  pos_ = stop;
  if (pos_ < bytes_.size()) {
    // A line feed directly after a carriage return belongs to the same line end.
    const bool carriageReturn = bytes_[pos_] == kCarriageReturn;
    ++pos_;
    if (carriageReturn && pos_ < bytes_.size() && bytes_[pos_] == kLineFeed) ++pos_;
  }
  if (utf8_) {
    if (auto sjis = cp932::fromUtf8(line.text)) line.text = std::move(*sjis);
    else line.fitsCp932 = false;
  }
  return line;
}

void BatchFileReader::close() {
  if (const int err = fd_.close(); err != 0 && err != EINTR) ThrowBatchIoError(err);
}

}  // namespace vedo
