#include "unlha32/archive/member_checker.h"
#include "unlha32/archive/verify_member.h"

#include <system_error>
#include <utility>

namespace unlha {

MemberChecker::MemberChecker(int fd) : fd_(fd) {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: finish() checks every member on the calling thread.
  }
}

MemberChecker::~MemberChecker() {
  {
    // Set under the lock, so that the thread cannot miss it between its test
    // and its wait; a check in progress sees it at its next read.
    std::lock_guard lock(mutex_);
    stopping_.store(true);
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MemberChecker::add(const WrittenMember& member, std::uint64_t fileEnd) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(Item{member, fileEnd});
    ++added_;
  }
  changed_.notify_all();
}

bool MemberChecker::checkNext(std::unique_lock<std::mutex>& lock, ArchiveReader& reader, ProgressReport* report) {
  if (queue_.empty() || error_) return false;
  const Item item = std::move(queue_.front());
  queue_.pop_front();
  lock.unlock();
  std::exception_ptr failure;
  try {
    if (report) report->member(item.member.stored);
    reader.extendTo(item.fileEnd);
    verifyMember(reader, item.member, &stopping_);
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

void MemberChecker::run() {
  // One reader for the thread's whole life: neighbouring small members are
  // read through its window in one call. The queue only ever names bytes that
  // are final, and each item extends the reader no further than those.
  ArchiveReader reader(fd_, 0);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_.load() || error_ || !queue_.empty(); });
    if (stopping_.load() || error_) return;
    checkNext(lock, reader, nullptr);
  }
}

void MemberChecker::finish(ProgressReport& report, double start) {
  ArchiveReader reader(fd_, 0);
  std::unique_lock lock(mutex_);
  while (done_ < added_ && !error_) {
    // The caller's thread checks queued members itself; when the checker
    // thread holds the last ones, it waits for them.
    if (!checkNext(lock, reader, &report)) changed_.wait(lock);
    const double done = start + (1 - start) * static_cast<double>(done_) / static_cast<double>(added_);
    lock.unlock();
    report.fraction(done);
    lock.lock();
  }
  if (error_) std::rethrow_exception(error_);
  // Also when the checker thread had done everything before this call.
  lock.unlock();
  report.fraction(1.0);
}

}  // namespace unlha
