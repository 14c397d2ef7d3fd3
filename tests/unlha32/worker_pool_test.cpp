// The pool when the system refuses threads: whatever a thread start throws,
// the pool keeps the workers it has (none at all: the waiting thread runs the
// work), and every task still runs exactly once.

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "unlha32/archive/worker_pool.h"

namespace unlha {
namespace {

struct RefusedStart {
  const char* label;
  unsigned asked;
  unsigned refusedFrom;  // the first start that throws
  bool outOfMemory;      // bad_alloc, else system_error (EAGAIN)
};

class WorkerPoolStart : public ::testing::TestWithParam<RefusedStart> {};

TEST_P(WorkerPoolStart, FewerWorkersAndEveryTaskRunsOnce) {
  const RefusedStart c = GetParam();
  unsigned starts = 0;
  const WorkerPool::StartThread start = [&](std::function<void()> body) {
    if (starts++ >= c.refusedFrom) {
      if (c.outOfMemory) throw std::bad_alloc();
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::thread(std::move(body));
  };
  WorkerPool pool(c.asked, start);
  const unsigned started = std::min(c.asked, c.refusedFrom);
  ASSERT_EQ(pool.workers(), started);

  constexpr int kTasks = 20;
  std::vector<std::atomic<int>> runs(kTasks);
  std::vector<std::thread::id> ranOn(kTasks);
  std::vector<std::size_t> slotOf(kTasks);
  std::vector<WorkerPool::Task> tasks;
  for (int i = 0; i < kTasks; ++i)
    tasks.push_back(pool.submit([&, i](std::size_t slot) {
      ++runs[i];
      ranOn[i] = std::this_thread::get_id();
      slotOf[i] = slot;
      if (i == 7) throw std::runtime_error("task 7");
    }));
  for (int i = 0; i < kTasks; ++i) {
    if (i == 7) {
      EXPECT_THROW(tasks[i].wait(), std::runtime_error);
    } else {
      tasks[i].wait();
    }
    EXPECT_EQ(runs[i].load(), 1) << "task " << i;
    EXPECT_LT(slotOf[i], pool.slots()) << "task " << i;
    // The waiting thread's slot is the last one, and only it runs there.
    EXPECT_EQ(slotOf[i] == pool.workers(), ranOn[i] == std::this_thread::get_id()) << "task " << i;
    if (started == 0) {
      EXPECT_EQ(ranOn[i], std::this_thread::get_id()) << "task " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Starts, WorkerPoolStart,
                         ::testing::Values(RefusedStart{"AllStarted", 3, 99, false},
                                           RefusedStart{"SecondOutOfMemory", 3, 1, true},
                                           RefusedStart{"ThirdRefused", 3, 2, false},
                                           RefusedStart{"FirstOutOfMemory", 2, 0, true},
                                           RefusedStart{"FirstRefused", 2, 0, false}),
                         [](const auto& info) { return std::string(info.param.label); });

// A task dropped before any worker took it never runs; one running is waited
// for. With no workers, nothing runs until waited for.
TEST(WorkerPool, ADroppedTaskNeverRuns) {
  WorkerPool pool(0);
  int runs = 0;
  { WorkerPool::Task dropped = pool.submit([&](std::size_t) { ++runs; }); }
  WorkerPool::Task kept = pool.submit([&](std::size_t) { ++runs; });
  EXPECT_EQ(runs, 0);
  kept.wait();
  EXPECT_EQ(runs, 1);
}

// Under taskset or a cpuset, the pool counts the processors it may use, not
// the machine's: two workers taking turns on one core only cost switches.
TEST(WorkerPool, OneWorkerPerAllowedProcessor) {
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  int first = 0;
  while (!CPU_ISSET(first, &before)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  if (sched_setaffinity(0, sizeof one, &one) != 0) GTEST_SKIP() << "this system refuses a narrower affinity";
  const unsigned workers = WorkerPool::workersForThisMachine();
  ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
  EXPECT_EQ(workers, 1u);
}

}  // namespace
}  // namespace unlha
