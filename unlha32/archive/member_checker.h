#pragma once
// Checks new members of the archive being written (see verifyMember) on a
// thread of its own while the members after them are still being compressed
// and written: a core that would wait for the writer decodes instead, and
// little is left to check once the last member is written.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "unlha32/archive/verify_member.h"
#include "unlha32/progress/progress.h"

namespace unlha {

class MemberChecker {
 public:
  // `fd` is the archive being written; it must stay open while the checker
  // lives. When the system refuses the thread, finish() does all the work.
  explicit MemberChecker(int fd);
  // Stops the thread without checking what is left (the command failed),
  // ending a check in progress at its next read.
  ~MemberChecker();
  MemberChecker(const MemberChecker&) = delete;
  MemberChecker& operator=(const MemberChecker&) = delete;

  // Queues `member`. Every byte of the file below `fileEnd` (the member's and
  // all before it) is written and never changes again.
  void add(const WrittenMember& member, std::uint64_t fileEnd);

  // Throws the first failure found so far, so that the writer stops early.
  void throwIfFailed();

  // Checks what is still queued, on the calling thread too, reporting the
  // members it checks itself and the fraction done (from `start` to 1.0, by
  // members) as members are done; throws the first failure (CommandError,
  // UNLHA_ERROR_VERIFY).
  void finish(ProgressReport& report, double start);

 private:
  struct Item {
    WrittenMember member;
    std::uint64_t fileEnd = 0;
  };

  void run();
  // Takes the next queued item, checks it with `reader` and records the
  // outcome; false when nothing is queued. Called with the lock held; unlocks
  // it while checking.
  bool checkNext(std::unique_lock<std::mutex>& lock, ArchiveReader& reader, ProgressReport* report);

  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  std::size_t added_ = 0;
  std::size_t done_ = 0;
  std::exception_ptr error_;
  std::atomic<bool> stopping_{false};  // the checker is going: read without the lock by a check in progress
  std::thread thread_;
};

}  // namespace unlha
