#pragma once
// The threads of one archive command: members compressed ahead, the runs of a
// large member and the checks of written members all share one set of
// workers, so that together they never keep more threads busy than the
// machine has cores.
//
// Tasks are taken in the order they were submitted. A task never waits for
// another task; only the thread that owns the pool (the command's) waits, and
// when it waits for a task no worker has taken yet, it runs that task itself.
// So a pool whose threads the system refused entirely still does all the work,
// on the calling thread.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace unlha {

class WorkerPool {
 public:
  // Workers: one per core, at most kMaxWorkers. Never more than the cores:
  // measured with lzh_bench's four-file set (unlha a -m5, 2 cores, 5
  // interleaved rounds, load average 8), 1, 2 and 4 workers took 1.28 s,
  // 1.38 s and 1.50 s (medians) and 0.62 s, 0.65 s and 0.66 s of CPU, so
  // workers beyond the cores only add CPU. Not fewer: with a core idle, the
  // runs of a large member and the checks use it (bench/README). The cap
  // bounds memory on a large machine: each worker holds about 4 MiB (an
  // encoder workspace and two runs in flight; peak resident 19.5, 27.1 and
  // 36.0 MiB with 2, 4 and 8 workers).
  static constexpr unsigned kMaxWorkers = 4;

  // One worker per core this process may run on, up to kMaxWorkers.
  static unsigned workersForThisMachine();

  // Starts a thread running `body`. The pool starts its workers through it;
  // tests pass one that throws, as a system out of threads or memory does.
  using StartThread = std::function<std::thread(std::function<void()> body)>;

  // Starts up to `workers` workers. A thread that cannot be started, whatever
  // the failure, means fewer workers (none at all: every task runs on the
  // thread that waits for it).
  explicit WorkerPool(unsigned workers, const StartThread& start = {});
  // Drops the tasks no worker has taken and joins the workers. Every Task
  // handle must be gone before.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // The workers started.
  unsigned workers() const { return static_cast<unsigned>(threads_.size()); }
  // Slots a task may be given: one per worker, and workers() for the thread
  // that owns the pool (running a task it waits for). A task's owner keeps
  // per-slot state (a workspace, a reader) without locks: one slot is never
  // used by two threads at once.
  std::size_t slots() const { return threads_.size() + 1; }

  using Work = std::function<void(std::size_t slot)>;

  class Task;
  // Queues `work`. Its exceptions are kept and thrown by Task::wait().
  Task submit(Work work);

 private:
  struct State;
  void run(std::size_t slot);
  void wait(State& state);
  void cancel(State& state) noexcept;
  static void execute(State& state, std::size_t slot);

  std::mutex mutex_;
  std::condition_variable queued_;  // workers: a task is queued, or stop
  std::condition_variable done_;    // waiters: a task is done
  std::deque<std::shared_ptr<State>> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

// A submitted task. Its work ends before the handle goes: destroying a handle
// drops the task if no worker has taken it, else waits for it to end.
class WorkerPool::Task {
 public:
  Task() = default;
  Task(Task&& other) noexcept = default;
  Task& operator=(Task&& other) noexcept;
  ~Task();

  // Waits for the task (running it here when no worker has taken it) and
  // throws what it threw. Once only.
  void wait();

 private:
  friend class WorkerPool;
  Task(WorkerPool* pool, std::shared_ptr<State> state) : pool_(pool), state_(std::move(state)) {}

  WorkerPool* pool_ = nullptr;
  std::shared_ptr<State> state_;
};

}  // namespace unlha
