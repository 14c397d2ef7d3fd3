#include "unlha32/archive/worker_pool.h"

#include <sched.h>

#include <algorithm>
#include <utility>

namespace unlha {

struct WorkerPool::State {
  enum class Phase { Queued, Running, Done, Dropped };
  Work work;
  Phase phase = Phase::Queued;
  // A thread waits for it to end: only then does its end wake the waiters,
  // so that the owner waiting for one task is not woken by every other.
  bool awaited = false;
  std::exception_ptr error;
};

unsigned WorkerPool::workersForThisMachine() {
  // The processors this thread may run on (its workers inherit them): fewer
  // than the machine's under taskset, a cpuset or a container's limit, where
  // a worker per processor of the machine would only take turns with the
  // others on the same cores.
  unsigned processors = std::thread::hardware_concurrency();
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int count = CPU_COUNT(&allowed);
    if (count > 0) processors = static_cast<unsigned>(count);
  }
  return std::clamp(processors, 1u, kMaxWorkers);
}

WorkerPool::WorkerPool(unsigned workers, const StartThread& start) {
  // The vector never grows once a thread runs: a failure to grow it would
  // leave a started thread that nobody joins.
  threads_.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) {
    const std::size_t slot = threads_.size();
    try {
      std::function<void()> body = [this, slot] { run(slot); };
      threads_.push_back(start ? start(std::move(body)) : std::thread(std::move(body)));
    } catch (...) {
      // No thread (system_error), or no memory for its start (bad_alloc):
      // what started is enough, the waiting thread covers the rest.
      break;
    }
  }
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  queued_.notify_all();
  for (std::thread& t : threads_) t.join();
}

WorkerPool::Task WorkerPool::submit(Work work) {
  auto state = std::make_shared<State>();
  state->work = std::move(work);
  {
    std::lock_guard lock(mutex_);
    // Tasks their waiters ran, or dropped, are let go here when no worker
    // comes by to take them.
    while (!queue_.empty() && queue_.front()->phase != State::Phase::Queued) queue_.pop_front();
    queue_.push_back(state);
  }
  queued_.notify_one();
  return Task(this, std::move(state));
}

void WorkerPool::execute(State& state, std::size_t slot) {
  // Nothing may escape: on a worker, an exception would end the process.
  try {
    state.work(slot);
  } catch (...) {
    state.error = std::current_exception();
  }
  state.work = nullptr;  // what it holds goes as soon as it is done
}

void WorkerPool::run(std::size_t slot) {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    const std::shared_ptr<State> state = std::move(queue_.front());
    queue_.pop_front();
    // A task its waiter took, or one dropped, stays in the queue until here.
    if (state->phase != State::Phase::Queued) continue;
    state->phase = State::Phase::Running;
    lock.unlock();
    execute(*state, slot);
    lock.lock();
    state->phase = State::Phase::Done;
    if (state->awaited) {
      // Woken after the unlock, the waiter does not block at once on the lock.
      lock.unlock();
      done_.notify_all();
      lock.lock();
    }
  }
}

void WorkerPool::wait(State& state) {
  std::unique_lock lock(mutex_);
  if (state.phase == State::Phase::Queued) {
    state.phase = State::Phase::Running;
    lock.unlock();
    execute(state, threads_.size());
    lock.lock();
    state.phase = State::Phase::Done;
  }
  state.awaited = true;
  done_.wait(lock, [&] { return state.phase == State::Phase::Done; });
  if (state.error) std::rethrow_exception(state.error);
}

void WorkerPool::cancel(State& state) noexcept {
  std::unique_lock lock(mutex_);
  if (state.phase == State::Phase::Queued) {
    state.phase = State::Phase::Dropped;
    Work dropped = std::move(state.work);
    lock.unlock();  // what the work holds goes without the lock held
    return;
  }
  state.awaited = true;
  done_.wait(lock, [&] { return state.phase != State::Phase::Running; });
}

WorkerPool::Task& WorkerPool::Task::operator=(Task&& other) noexcept {
  if (this != &other) {
    if (state_) pool_->cancel(*state_);
    pool_ = other.pool_;
    state_ = std::move(other.state_);
  }
  return *this;
}

WorkerPool::Task::~Task() {
  if (state_) pool_->cancel(*state_);
}

void WorkerPool::Task::wait() {
  const std::shared_ptr<State> state = std::move(state_);
  pool_->wait(*state);
}

}  // namespace unlha
