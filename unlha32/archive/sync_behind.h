#pragma once
// Syncs an archive being written on a thread of its own, a step behind the
// writing.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace unlha {

// The sync before an archive takes its name waits for every byte not yet
// synced; on a disk whose sync time grows with those (a virtual machine's,
// whose host writes them out only then) that is most of the archive. This
// syncs the file each time a step more was written, on a thread that only
// waits for the disk, so that the last sync has little left. A step is kStep
// or an eighth of what was written, whichever is more: a large archive is
// synced a few dozen times, not once per kStep.
class SyncBehind {
 public:
  // The least bytes written between two syncs.
  static constexpr std::uint64_t kStep = std::uint64_t{8} << 20;

  // Takes no ownership of fd.
  explicit SyncBehind(int fd) : fd_(fd) {}
  // Waits for a sync in progress.
  ~SyncBehind();
  SyncBehind(const SyncBehind&) = delete;
  SyncBehind& operator=(const SyncBehind&) = delete;

  // The file has `size` bytes written: starts a sync when a step more was
  // written since the last one started and none is running. Without a
  // thread (the system refused one) it does nothing.
  void written(std::uint64_t size);
  // Waits for a sync in progress and ends the thread; returns the error
  // number of the first failed sync, 0 when none failed. The caller must
  // report it: a later sync may not see the failure again.
  int finish();

 private:
  void run();

  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t started_ = 0;  // bytes written when the last sync started
  bool wanted_ = false;        // a sync is asked for or running
  bool stop_ = false;
  bool refused_ = false;       // no thread could be started
  int error_ = 0;
  std::thread thread_;
};

}  // namespace unlha
