#include "unlha32/archive/sync_behind.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace unlha {

SyncBehind::~SyncBehind() { finish(); }

void SyncBehind::written(std::uint64_t size) {
  {
    std::lock_guard lock(mutex_);
    if (refused_ || stop_ || wanted_ || size < started_ + std::max(kStep, started_ / 8)) return;
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { run(); });
      } catch (...) {
        refused_ = true;  // no thread, or no memory for one: the sync before the rename does it all
        return;
      }
    }
    wanted_ = true;
    started_ = size;
  }
  changed_.notify_one();
}

void SyncBehind::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return wanted_ || stop_; });
    if (!wanted_) return;
    lock.unlock();
    // EINVAL: a file that cannot be synced; the sync before the rename
    // decides about those.
    const int err = ::fdatasync(fd_) != 0 && errno != EINVAL ? errno : 0;
    lock.lock();
    if (err != 0 && error_ == 0) error_ = err;
    wanted_ = false;
    changed_.notify_all();
  }
}

int SyncBehind::finish() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !wanted_; });
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  return error_;
}

}  // namespace unlha
