#include "parallel_runs.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "lzh_format.h"

namespace unlha {

ParallelRuns::ParallelRuns(lzh::Method method, unsigned threads, lzh::ByteSink sink)
    : method_(method),
      joiner_(std::move(sink)),
      dictionary_(std::size_t{1} << lzh::detail::shapeOf(method).dictBits),
      inFlightLimit_(2 * std::max(threads, 1u)) {
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { run(); });
    } catch (const std::system_error&) {
      break;  // fewer workers, or none: see submit()
    }
  }
  if (workers_.empty()) inlineWorkspace_ = std::make_unique<lzh::EncoderWorkspace>();
  current_.reserve(kRunSize);
}

ParallelRuns::~ParallelRuns() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

std::vector<std::uint8_t> ParallelRuns::reuse(std::vector<std::vector<std::uint8_t>>& spares) {
  std::lock_guard lock(mutex_);
  if (spares.empty()) return {};
  std::vector<std::uint8_t> b = std::move(spares.back());
  spares.pop_back();
  b.clear();
  return b;
}

void ParallelRuns::compress(Job& job, lzh::EncoderWorkspace& workspace) {
  try {
    job.result = lzh::encodeRun(method_, job.history, job.data, &workspace, reuse(spareOutputs_));
  } catch (...) {
    job.error = std::current_exception();
  }
  // The input is no longer needed while the run waits its turn to be joined.
  std::lock_guard lock(mutex_);
  spareInputs_.push_back(std::move(job.data));
}

void ParallelRuns::run() {
  lzh::EncoderWorkspace workspace;
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    compress(*job, workspace);
    {
      std::lock_guard lock(mutex_);
      job->done = true;
    }
    finished_.notify_all();
  }
}

void ParallelRuns::write(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const std::size_t n = std::min(data.size(), kRunSize - current_.size());
    current_.insert(current_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    data = data.subspan(n);
    if (current_.size() == kRunSize) submit();
  }
}

void ParallelRuns::submit() {
  if (current_.empty()) return;
  while (order_.size() >= inFlightLimit_) joinOldest();
  auto job = std::make_shared<Job>();
  job->history = history_;
  // The next run's history: the end of this one (runs are far longer than a dictionary).
  const std::size_t keep = std::min(dictionary_, current_.size());
  history_.assign(current_.end() - static_cast<std::ptrdiff_t>(keep), current_.end());
  job->data = std::move(current_);
  current_ = reuse(spareInputs_);
  current_.reserve(kRunSize);
  order_.push_back(job);
  if (workers_.empty()) {
    compress(*job, *inlineWorkspace_);
    job->done = true;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(job);
  }
  wake_.notify_one();
}

void ParallelRuns::joinOldest() {
  const std::shared_ptr<Job> job = order_.front();
  {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return job->done; });
  }
  order_.pop_front();
  if (job->error) std::rethrow_exception(job->error);
  joiner_.append(job->result);
  std::lock_guard lock(mutex_);
  spareOutputs_.push_back(std::move(job->result.bytes));
}

void ParallelRuns::finish() {
  submit();
  while (!order_.empty()) joinOldest();
  joiner_.finish();
}

}  // namespace unlha
