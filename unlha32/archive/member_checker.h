#pragma once
// Checks new members of the archive being written (see verifyMember) on a
// worker of the command's pool while the members after them are still being
// compressed and written: a core that would wait for the writer decodes
// instead, and little is left to check once the last member is written. A
// large member's packed data is decoded even while it is written, so that a
// large last member does not leave one core checking it alone at the end.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "unlha32/archive/verify_member.h"
#include "unlha32/archive/worker_pool.h"
#include "unlha32/progress/progress.h"

namespace unlha {

class MemberChecker {
 public:
  // `fd` is the archive being written; it must stay open while the checker
  // lives. Queued members are checked one after another by one task on
  // `pool`; what no worker has checked by then, finish() checks.
  MemberChecker(int fd, WorkerPool& pool);
  // Stops without checking what is left (the command failed), ending a check
  // in progress at its next read.
  ~MemberChecker();
  MemberChecker(const MemberChecker&) = delete;
  MemberChecker& operator=(const MemberChecker&) = delete;

  // Queues `member`. Every byte of the file below `fileEnd` (the member's and
  // all before it) is written and never changes again.
  void add(const WrittenMember& member, std::uint64_t fileEnd);

  // A member whose packed data is being written from `dataOffset` on (see
  // PackedDataWatch): the checker's task decodes it as it reaches the file.
  // Once complete, the member is handed over with add() as any other, and its
  // check ends with its header, length and CRC. A member that then does not
  // match (stored instead, or its file changed size) is checked whole
  // instead. Ignored while an earlier member is still being written this
  // way (or a few complete ones are still decoded).
  void startStream(std::uint64_t headerOffset, std::uint64_t dataOffset, lzh::Method method, std::uint64_t size);
  // The streamed member's packed data below `fileEnd` is written and never
  // changes again, unless dropStream() comes.
  void streamWritten(std::uint64_t fileEnd);
  // The streamed member's packed data is about to be cut off: what was
  // decoded of it is dropped.
  void dropStream();

  // Throws the first failure found so far, so that the writer stops early.
  void throwIfFailed();

  // Checks what is still queued, on the calling thread too, reporting the
  // members it checks itself and the fraction done (from `start` to 1.0, by
  // members) as members are done; throws the first failure (CommandError,
  // UNLHA_ERROR_VERIFY). `reader`: one of the caller's over this archive,
  // whose memory the checks on the calling thread then reuse; else they make
  // their own.
  void finish(ProgressReport& report, double start, ArchiveReader* reader = nullptr);

 private:
  // The task on the pool: checks queued members until none is left.
  void drain();
  // Takes the next queued member, checks it with `reader` and records the
  // outcome; false when nothing is queued. Called with the lock held; unlocks
  // it while checking.
  bool checkNext(std::unique_lock<std::mutex>& lock, ArchiveReader& reader, ProgressReport* report);

  struct Stream;
  // Streamed members at most at once: the one being written and those
  // complete whose last part is still decoded.
  static constexpr std::size_t kStreamsAtOnce = 4;
  // The streamed member still being written, if any. Lock held.
  Stream* openStream();
  void removeStream(const Stream* stream);
  // A streamed member with a step to take now, if any. Lock held.
  Stream* readyStream();
  // Takes a streamed member's next step: decodes a part of its data, or,
  // once all of it is decoded and the member complete, checks the rest and
  // records the outcome; false when there is no step to take now. Called
  // with the lock held; unlocks it while working.
  bool streamStep(std::unique_lock<std::mutex>& lock, ArchiveReader& reader);
  // The streamed member's source of packed data, up to what is written.
  std::size_t streamRead(Stream& stream, std::span<std::uint8_t> buffer);
  // Queues the task unless it runs. Lock not held.
  void startDrain();

  int fd_;
  WorkerPool& pool_;
  // The reader of the task: one for the checker's whole life, so that
  // neighbouring small members are read through its window in one call.
  ArchiveReader reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WrittenMember> queue_;
  std::size_t added_ = 0;
  std::uint64_t final_ = 0;  // the end of the last member queued: the bytes below it are final
  std::size_t done_ = 0;
  std::exception_ptr error_;
  std::atomic<bool> stopping_{false};  // the checker is going: read without the lock by a check in progress
  bool draining_ = false;              // the task is queued or running
  std::vector<std::unique_ptr<Stream>> streams_;  // members decoded while they are written
  std::optional<WorkerPool::Task> task_;
};

}  // namespace unlha
