#include "unlha32/archive/member_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/unique_fd.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/messages.h"
#include "unlha32/archive/parallel_runs.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

// Bytes read from a source (or the archive, when verifying) per system call.
constexpr std::size_t kChunkSize = 256 << 10;

// Thrown through the encoder's sink once its output has grown as large as the
// file itself: compressing further cannot pay, the file is stored instead.
struct StopCompressing {};

class SourceFd {
 public:
  explicit SourceFd(const SourceFile& file) : path_(file.path) {
    const std::optional<std::string> sys = vedo::fs::toSystemPath(file.path);
    if (!sys) throw CommandError(UNLHA_ERROR_NAME, tr("name cannot be held in CP932") + ": \"" + file.path + "\"");
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused just below.
    fd_.reset(::open(sys->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd_) fail(errno);
    if (::fstat(fd_.get(), &st_) != 0) fail(errno);
    if (!S_ISREG(st_.st_mode)) throw CommandError(UNLHA_ERROR_READ, tr("not a regular file") + ": \"" + path_ + "\"");
  }

  const struct stat& status() const { return st_; }

  // Fills `buf` from `offset`, or fewer bytes at the end of the file. A read
  // that stops short exactly where the status put the end is taken as the
  // end, without asking again for the system's zero-byte answer; one that
  // stops anywhere else (the file changed size) is read on as before.
  std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> buf) {
    const long long n =
        readFullyAt(fd_.get(), offset, buf, static_cast<std::uint64_t>(std::max<off_t>(st_.st_size, 0)));
    if (n < 0) fail(errno);
    return static_cast<std::size_t>(n);
  }

 private:
  [[noreturn]] void fail(int err) {
    throw CommandError(UNLHA_ERROR_READ, tr("cannot read") + " \"" + path_ + "\": " + systemMessage(err));
  }

  std::string path_;
  vedo::UniqueFd fd_;
  struct stat st_ {};
};

// Whether to store the file without trying the encoder: the codec's guess must
// say "incompressible" for a sample at the start, the middle and the end, so a
// file that merely begins with packed data (a tar holding a compressed file
// first, say) is still compressed. `first` is the file's first read: samples
// it holds come from it, the others from `source`.
constexpr std::size_t kSampleSize = 64 << 10;

bool fileLooksIncompressible(SourceFd& source, std::uint64_t size, std::span<const std::uint8_t> first) {
  std::vector<std::uint8_t> buffer;
  for (std::uint64_t at : {std::uint64_t{0}, size / 2, size > kSampleSize ? size - kSampleSize : 0}) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kSampleSize, size - at));
    std::span<const std::uint8_t> sample;
    if (at + length <= first.size()) {
      sample = first.subspan(static_cast<std::size_t>(at), length);
    } else {
      buffer.resize(length);
      sample = std::span(buffer.data(), source.readAt(at, buffer));
    }
    if (!lzh::looksIncompressible(sample)) return false;
  }
  return true;
}

void checkSize(std::uint64_t size, const std::string& path) {
  if (size > kMaxMemberSize)
    throw CommandError(UNLHA_ERROR_TOO_LARGE,
                       tr("file too large for an LZH member (4 GiB or more)") + ": \"" + path + "\"");
}

std::uint32_t unixTime(const struct stat& st) {
  return static_cast<std::uint32_t>(std::clamp<long long>(st.st_mtim.tv_sec, 0, 0xFFFFFFFFll));
}

}  // namespace

const char* methodId(lzh::Method method) {
  switch (method) {
    case lzh::Method::Lh5: return "-lh5-";
    case lzh::Method::Lh6: return "-lh6-";
    case lzh::Method::Lh7: return "-lh7-";
    default: break;  // -lh0-; the older methods are only read
  }
  return "-lh0-";
}

namespace {

// Reads a source one buffer at a time. A read that comes back short has met
// the end of the file, so a file that fits in the buffer costs one read.
class ChunkReader {
 public:
  ChunkReader(SourceFd& source, std::span<std::uint8_t> buffer) : source_(source), buffer_(buffer) {}

  // The next bytes of the file from `offset`; empty at its end.
  std::span<const std::uint8_t> readAt(std::uint64_t offset) {
    const std::size_t n = source_.readAt(offset, buffer_);
    return std::span<const std::uint8_t>(buffer_.data(), n);
  }

 private:
  SourceFd& source_;
  std::span<std::uint8_t> buffer_;
};

}  // namespace

WrittenMember writeMember(ByteOutput& out, const SourceFile& file, lzh::Method method,
                          const BytesRead& progress, MemberScratch* scratch, WorkerPool* pool,
                          PackedDataWatch* watch) {
  if (file.stored.size() > kMaxStoredPath)
    throw CommandError(UNLHA_ERROR_NAME, tr("stored path too long") + ": \"" + file.stored + "\"");
  SourceFd source(file);
  const struct stat& st = source.status();
  checkSize(static_cast<std::uint64_t>(st.st_size), file.path);

  NewMemberHeader h;
  h.path = file.stored;
  h.mtime = unixTime(st);
  h.unixMode = static_cast<std::uint16_t>(st.st_mode & 0xFFFF);
  const std::vector<std::uint8_t> placeholder = buildLevel2Header(h);
  WrittenMember written;
  written.stored = file.stored;
  written.headerOffset = out.position();
  out.write(placeholder);
  const std::uint64_t dataOffset = out.position();

  std::optional<MemberScratch> own;
  MemberScratch& work = scratch ? *scratch : own.emplace();
  // One byte more than the file, so that a file that fits is known to end
  // there after one read; a file that grew meanwhile is read on to its end.
  const std::size_t bufferSize = static_cast<std::size_t>(
      std::clamp<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) + 1, 4096, kChunkSize));
  ChunkReader reader(source, work.buffer.get(bufferSize, kChunkSize));

  std::uint64_t total = 0;
  std::uint64_t reported = 0;
  std::uint16_t crc = 0;
  bool compressed = false;
  PackedDataWatch* watching = nullptr;  // `watch`, once it hears about packed data
  auto account = [&](std::size_t n) {
    total += n;
    checkSize(total, file.path);
    if (total > reported) {
      progress(total - reported);
      reported = total;
    }
  };

  std::span<const std::uint8_t> chunk = reader.readAt(0);
  // The whole file is in memory when the first read stopped short.
  const bool whole = chunk.size() < bufferSize;
  const std::span<const std::uint8_t> first = chunk;

  if (method != lzh::Method::Lh0 && st.st_size > 0 &&
      !fileLooksIncompressible(source, static_cast<std::uint64_t>(st.st_size), first)) {
    const std::uint64_t limit = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t packed = 0;
    const bool inRuns = pool && pool->workers() > 1 && !whole && limit > ParallelRuns::kRunSize;
    const lzh::ByteSink sink = [&](std::span<const std::uint8_t> bytes) {
      packed += bytes.size();
      if (packed >= limit) throw StopCompressing{};
      out.write(bytes);
      if (watching) watching->wrote();
    };
    // Reads the file to its end, giving each chunk to `compress`.
    auto readAll = [&](auto&& compress) {
      for (;;) {
        crc = lzh::crc16(crc, chunk);
        account(chunk.size());
        compress(chunk);
        if (chunk.size() < bufferSize) break;  // the end of the file
        chunk = reader.readAt(total);
      }
    };
    try {
      if (inRuns) {
        // Only data compressed in runs is watched: it is long enough to pay.
        watching = watch;
        if (watching) watching->started(written.headerOffset, dataOffset, method, limit);
        ParallelRuns runs(method, *pool, sink, &work.runs);
        readAll([&](std::span<const std::uint8_t> c) { runs.write(c); });
        runs.finish();
      } else {
        lzh::Encoder encoder(method, sink, &work.encoder);
        readAll([&](std::span<const std::uint8_t> c) { encoder.write(c); });
        encoder.finish();
      }
      compressed = packed < total;
    } catch (const StopCompressing&) {
      compressed = false;
    }
    if (compressed) {
      written.method = method;
      written.packedSize = static_cast<std::uint32_t>(packed);
    }
  }

  if (!compressed) {
    // Store: drop whatever the encoder wrote and copy the file as it is (from
    // memory when it is all there, else read again from its start).
    if (watching) watching->dropped();
    out.truncateTo(dataOffset);
    total = 0;
    crc = 0;
    chunk = whole ? first : reader.readAt(0);
    for (;;) {
      crc = lzh::crc16(crc, chunk);
      account(chunk.size());
      out.write(chunk);
      if (chunk.size() < bufferSize) break;
      chunk = reader.readAt(total);
    }
    written.method = lzh::Method::Lh0;
    written.packedSize = static_cast<std::uint32_t>(total);
  }

  written.originalSize = static_cast<std::uint32_t>(total);
  written.crc = crc;
  std::copy_n(methodId(written.method), 5, h.method);
  h.packedSize = written.packedSize;
  h.originalSize = written.originalSize;
  h.crc = crc;
  out.writeAt(written.headerOffset, buildLevel2Header(h));
  return written;
}

}  // namespace unlha
