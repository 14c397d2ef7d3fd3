#include "unlha32/archive/member_checker.h"
#include "unlha32/archive/verify_member.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "unlha32/archive/command_error.h"
#include "unlha32/archive/output_file.h"

namespace unlha {
namespace {

// Written packed data the streamed member's decoding stays behind while the
// member is incomplete: more than one step of the decoder can take (its
// output chunk and dictionary, at most two packed bytes per byte from this
// writer's coder, and the block tables), so that a step never needs bytes
// that are not written yet.
constexpr std::uint64_t kStreamAhead = 1 << 20;

// Thrown by the streamed member's source when its decoding cannot go on: the
// data is dropped, or (never with this writer's data) a step needs bytes not
// written yet. The member is then checked whole, once complete.
struct StreamGivenUp {};

}  // namespace

struct MemberChecker::Stream {
  std::uint64_t headerOffset = 0;
  std::uint64_t dataOffset = 0;
  lzh::Method method = lzh::Method::Lh5;
  std::uint64_t size = 0;  // what the data decodes to, if the file did not change
  // Guarded by the checker's lock:
  std::uint64_t written = 0;            // packed data below this is written
  std::optional<WrittenMember> member;  // set by add(): the member is complete
  bool dropped = false;
  bool busy = false;  // a thread is taking a step
  // Used by the thread whose step it is (`busy`) only:
  std::unique_ptr<lzh::Decoder> decoder;
  std::uint64_t next = 0;  // file offset of the next packed byte to read
  std::uint64_t count = 0;
  std::uint16_t crc = 0;
  bool decoded = false;         // the decoder gave all `size` bytes
  std::exception_ptr failure;  // what decoding threw
};

MemberChecker::MemberChecker(int fd, WorkerPool& pool) : fd_(fd), pool_(pool), reader_(fd, 0) {}

MemberChecker::~MemberChecker() {
  // A check in progress sees this at its next read; the task then ends, or
  // is dropped if no worker took it yet.
  stopping_.store(true);
  task_.reset();
}

void MemberChecker::startDrain() {
  // The task before has left drain() (draining_ was false), so this waits
  // for nothing.
  task_.reset();
  task_ = pool_.submit([this](std::size_t) { drain(); });
}

MemberChecker::Stream* MemberChecker::openStream() {
  for (const std::unique_ptr<Stream>& s : streams_)
    if (!s->member && !s->dropped) return s.get();
  return nullptr;
}

void MemberChecker::removeStream(const Stream* stream) {
  std::erase_if(streams_, [stream](const std::unique_ptr<Stream>& s) { return s.get() == stream; });
}

void MemberChecker::add(const WrittenMember& member, std::uint64_t fileEnd) {
  bool start = false;
  {
    std::lock_guard lock(mutex_);
    final_ = std::max(final_, fileEnd);
    ++added_;
    Stream* s = openStream();
    if (s && s->headerOffset != member.headerOffset) s = nullptr;
    if (s && member.method == s->method && member.originalSize == s->size) {
      s->member = member;
    } else {
      // A streamed member that came out otherwise is checked whole.
      if (s) {
        s->dropped = true;
        if (!s->busy) removeStream(s);
      }
      queue_.push_back(member);
    }
    start = !draining_;
    draining_ = true;
  }
  changed_.notify_all();
  if (start) startDrain();
}

void MemberChecker::startStream(std::uint64_t headerOffset, std::uint64_t dataOffset, lzh::Method method,
                                std::uint64_t size) {
  std::lock_guard lock(mutex_);
  if (openStream() || streams_.size() >= kStreamsAtOnce) return;
  std::unique_ptr<Stream>& s = streams_.emplace_back(std::make_unique<Stream>());
  s->headerOffset = headerOffset;
  s->dataOffset = dataOffset;
  s->method = method;
  s->size = size;
  s->written = dataOffset;
  s->next = dataOffset;
}

void MemberChecker::streamWritten(std::uint64_t fileEnd) {
  bool start = false;
  {
    std::lock_guard lock(mutex_);
    Stream* s = openStream();
    if (!s) return;
    s->written = std::max(s->written, fileEnd);
    start = !draining_ && readyStream();
    if (start) draining_ = true;
  }
  if (start) startDrain();
}

void MemberChecker::dropStream() {
  std::lock_guard lock(mutex_);
  Stream* s = openStream();
  if (!s) return;
  s->dropped = true;
  if (!s->busy) removeStream(s);
}

MemberChecker::Stream* MemberChecker::readyStream() {
  if (error_) return nullptr;
  for (const std::unique_ptr<Stream>& s : streams_) {
    if (s->busy || s->dropped) continue;
    if (s->member || (!s->decoded && !s->failure && s->written >= s->next + kStreamAhead)) return s.get();
  }
  return nullptr;
}

std::size_t MemberChecker::streamRead(Stream& s, std::span<std::uint8_t> buffer) {
  if (stopping_.load(std::memory_order_relaxed)) throw CheckStopped{};
  std::uint64_t end = 0;
  bool complete = false;
  {
    std::lock_guard lock(mutex_);
    if (s.dropped) throw StreamGivenUp{};
    complete = s.member.has_value();
    end = complete ? s.dataOffset + s.member->packedSize : s.written;
  }
  if (s.next >= end) {
    if (complete) return 0;
    throw StreamGivenUp{};
  }
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - s.next));
  const long long n = readFullyAt(fd_, s.next, buffer.first(want), end);
  if (n < 0) throw std::runtime_error("cannot read the archive: " + systemMessage(errno));
  s.next += static_cast<std::uint64_t>(n);
  return static_cast<std::size_t>(n);
}

bool MemberChecker::streamStep(std::unique_lock<std::mutex>& lock, ArchiveReader& reader) {
  Stream* const ready = readyStream();
  if (!ready) return false;
  Stream& s = *ready;
  s.busy = true;
  const bool complete = s.member.has_value();
  const std::uint64_t finalEnd = final_;
  lock.unlock();

  bool givenUp = false;
  bool finished = false;  // the member's check is over
  std::exception_ptr outcome;
  try {
    if (!s.decoded && !s.failure) {
      try {
        if (!s.decoder)
          s.decoder = std::make_unique<lzh::Decoder>(
              s.method, [this, &s](std::span<std::uint8_t> b) { return streamRead(s, b); }, kMaxMemberSize, s.size);
        const std::span<const std::uint8_t> part = s.decoder->readView();
        s.crc = lzh::crc16(s.crc, part);
        s.count += part.size();
        s.decoded = part.empty();
      } catch (const StreamGivenUp&) {
        throw;
      } catch (const CheckStopped&) {
        throw;
      } catch (...) {
        s.failure = std::current_exception();  // reported once the member is complete
      }
    }
    if (complete && (s.decoded || s.failure)) {
      finished = true;
      const WrittenMember& m = *s.member;
      if (s.failure) {
        try {
          std::rethrow_exception(s.failure);
        } catch (const std::runtime_error& e) {
          verifyFailed(m, e.what());
        }
      }
      reader.extendTo(finalEnd);
      if (checkWrittenHeader(reader, m).dataOffset != s.dataOffset)
        verifyFailed(m, "member header does not hold what was written");
      checkDecoded(m, s.count, s.crc);
    }
  } catch (const StreamGivenUp&) {
    givenUp = true;
  } catch (const CheckStopped&) {
    givenUp = true;
  } catch (...) {
    outcome = std::current_exception();
  }

  lock.lock();
  s.busy = false;
  if (finished) {
    if (outcome && !error_) error_ = outcome;
    ++done_;
  }
  // A member given up is checked whole: at add() when it is not complete
  // yet, else now (or, with no memory to queue it, it fails the command).
  if (givenUp && s.member && !stopping_.load()) {
    try {
      queue_.push_back(*s.member);
    } catch (...) {
      if (!error_) error_ = std::current_exception();
      ++done_;
    }
  }
  if (finished || givenUp || s.dropped) removeStream(&s);
  changed_.notify_all();
  return true;
}

bool MemberChecker::checkNext(std::unique_lock<std::mutex>& lock, ArchiveReader& reader, ProgressReport* report) {
  if (queue_.empty() || error_) return false;
  const WrittenMember member = std::move(queue_.front());
  queue_.pop_front();
  // Every queued member's bytes are final: the reader may take them all in
  // one read, not one read per member.
  const std::uint64_t finalEnd = final_;
  lock.unlock();
  std::exception_ptr failure;
  try {
    if (report) report->member(member.stored);
    reader.extendTo(finalEnd);
    verifyMember(reader, member, &stopping_);
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  if (failure && !error_) error_ = failure;
  ++done_;
  changed_.notify_all();
  return true;
}

void MemberChecker::throwIfFailed() {
  std::lock_guard lock(mutex_);
  if (error_) std::rethrow_exception(error_);
}

void MemberChecker::drain() {
  // The queue only ever names bytes that are final, and each check extends
  // the reader no further than those.
  std::unique_lock lock(mutex_);
  while (!stopping_.load() && (checkNext(lock, reader_, nullptr) || streamStep(lock, reader_))) {
  }
  draining_ = false;
}

void MemberChecker::finish(ProgressReport& report, double start, ArchiveReader* callers) {
  std::optional<ArchiveReader> own;
  ArchiveReader& reader = callers ? *callers : own.emplace(fd_, 0);
  std::unique_lock lock(mutex_);
  while (done_ < added_ && !error_) {
    // The caller's thread checks queued members itself; when the task on
    // the pool holds the last ones, it waits for them.
    if (!checkNext(lock, reader, &report) && !streamStep(lock, reader)) changed_.wait(lock);
    const double done = start + (1 - start) * static_cast<double>(done_) / static_cast<double>(added_);
    lock.unlock();
    report.fraction(done);
    lock.lock();
  }
  if (error_) std::rethrow_exception(error_);
  // Also when the task had done everything before this call.
  lock.unlock();
  report.fraction(1.0);
}

}  // namespace unlha
