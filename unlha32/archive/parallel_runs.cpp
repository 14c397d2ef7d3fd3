#include "unlha32/archive/parallel_runs.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "unlha32/codec/lzh_format.h"

namespace unlha {

ParallelRuns::ParallelRuns(lzh::Method method, unsigned threads, lzh::ByteSink sink)
    : method_(method),
      joiner_(std::move(sink)),
      dictionary_(std::size_t{1} << lzh::detail::shapeOf(method).dictBits),
      inFlightLimit_(2 * std::max(threads, 1u)) {
  // Everything that may fail to allocate comes before the first thread: a
  // constructor that throws with threads running would end the process.
  current_.reserve(kRunSize);
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back([this] { run(); });
    } catch (const std::system_error&) {
      break;  // fewer workers, or none: see submit()
    }
  }
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

void ParallelRuns::compress(Job& job, std::unique_ptr<lzh::EncoderWorkspace>& workspace) {
  // Nothing may escape: on a worker, an exception would end the process.
  try {
    if (!workspace) workspace = std::make_unique<lzh::EncoderWorkspace>();
    job.result = lzh::encodeRun(method_, job.history, job.data, workspace.get(), reuse(spareOutputs_));
  } catch (...) {
    job.error = std::current_exception();
  }
  // The input is no longer needed while the run waits its turn to be joined.
  try {
    std::lock_guard lock(mutex_);
    spareInputs_.push_back(std::move(job.data));
  } catch (...) {
    job.data = {};  // no room to keep it: dropped instead
  }
}

void ParallelRuns::run() {
  std::unique_ptr<lzh::EncoderWorkspace> workspace;  // made with the first job
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
    jobDone_.notify_all();
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
  if (workers_.empty()) {
    compress(*job, inlineWorkspace_);
    job->done = true;
    order_.push_back(job);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(job);
  }
  wake_.notify_one();
  // Only a queued job may be waited for (should this push fail, a worker
  // makes a run nobody joins, and the failure ends the member anyway).
  order_.push_back(job);
}

void ParallelRuns::joinOldest() {
  const std::shared_ptr<Job> job = order_.front();
  {
    std::unique_lock lock(mutex_);
    jobDone_.wait(lock, [&] { return job->done; });
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
