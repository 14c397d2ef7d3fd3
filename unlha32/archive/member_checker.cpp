#include "unlha32/archive/member_checker.h"
#include "unlha32/archive/verify_member.h"

#include <algorithm>
#include <utility>

namespace unlha {

MemberChecker::MemberChecker(int fd, WorkerPool& pool) : fd_(fd), pool_(pool), reader_(fd, 0) {}

MemberChecker::~MemberChecker() {
  // A check in progress sees this at its next read; the task then ends, or
  // is dropped if no worker took it yet.
  stopping_.store(true);
  task_.reset();
}

void MemberChecker::add(const WrittenMember& member, std::uint64_t fileEnd) {
  bool start = false;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(member);
    final_ = std::max(final_, fileEnd);
    ++added_;
    start = !draining_;
    draining_ = true;
  }
  changed_.notify_all();
  if (start) {
    // The task before has left drain() (draining_ was false), so this waits
    // for nothing.
    task_.reset();
    task_ = pool_.submit([this](std::size_t) { drain(); });
  }
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
  while (!stopping_.load() && checkNext(lock, reader_, nullptr)) {
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
    if (!checkNext(lock, reader, &report)) changed_.wait(lock);
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
