#include "unlha32/archive/parallel_runs.h"

#include <algorithm>
#include <utility>

#include "unlha32/codec/lzh_format.h"

namespace unlha {

ParallelRuns::ParallelRuns(lzh::Method method, WorkerPool& pool, lzh::ByteSink sink, Memory* memory)
    : method_(method),
      pool_(pool),
      joiner_(std::move(sink)),
      dictionary_(std::size_t{1} << lzh::detail::shapeOf(method).dictBits),
      inFlightLimit_(2 * std::max(pool.workers(), 1u)),
      ownMemory_(memory ? nullptr : std::make_unique<Memory>()),
      memory_(memory ? *memory : *ownMemory_) {
  if (memory_.workspaces.size() < pool.slots()) memory_.workspaces.resize(pool.slots());
  current_ = reuse(memory_.spareInputs);
  current_.reserve(kRunSize);
}

ParallelRuns::~ParallelRuns() {
  // Runs still in flight end (or are dropped) first. The inputs of runs that
  // were compressed go back to the memory; the rest are freed.
  order_.clear();
  keep(memory_.spareInputs, std::move(current_));
}

lzh::LargeBytes ParallelRuns::reuse(std::vector<lzh::LargeBytes>& spares) {
  std::lock_guard lock(mutex_);
  if (spares.empty()) return {};
  lzh::LargeBytes b = std::move(spares.back());
  spares.pop_back();
  b.clear();
  return b;
}

void ParallelRuns::keep(std::vector<lzh::LargeBytes>& spares, lzh::LargeBytes&& buffer) {
  try {
    std::lock_guard lock(mutex_);
    spares.push_back(std::move(buffer));
  } catch (...) {
    buffer = {};  // no room to keep it: dropped instead
  }
}

void ParallelRuns::compress(Job& job, std::size_t slot) {
  std::unique_ptr<lzh::EncoderWorkspace>& workspace = memory_.workspaces[slot];
  if (!workspace) workspace = std::make_unique<lzh::EncoderWorkspace>();
  job.result = lzh::encodeRun(method_, job.history, job.data, workspace.get(), reuse(memory_.spareOutputs));
  // The input is no longer needed while the run waits its turn to be joined.
  keep(memory_.spareInputs, std::move(job.data));
}

void ParallelRuns::write(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const std::size_t n = std::min(data.size(), kRunSize - current_.size());
    current_.append(data.first(n));
    data = data.subspan(n);
    if (current_.size() == kRunSize) submit();
  }
}

void ParallelRuns::submit() {
  if (current_.empty()) return;
  while (order_.size() >= inFlightLimit_) joinOldest();
  Job& job = order_.emplace_back();
  try {
    job.history = history_;
    // The next run's history: the end of this one (runs are far longer than a dictionary).
    const std::size_t keep = std::min(dictionary_, current_.size());
    history_.assign(current_.end() - static_cast<std::ptrdiff_t>(keep), current_.end());
    job.data = std::move(current_);
    current_ = reuse(memory_.spareInputs);
    current_.reserve(kRunSize);
    // The deque keeps `job` in place while later runs are added and earlier
    // ones joined; its task ends before it goes.
    job.task = pool_.submit([this, &job](std::size_t slot) { compress(job, slot); });
  } catch (...) {
    order_.pop_back();  // never handed to the pool: a run nobody could join
    throw;
  }
}

void ParallelRuns::joinOldest() {
  Job& job = order_.front();
  job.task.wait();
  joiner_.append(job.result);
  keep(memory_.spareOutputs, std::move(job.result.bytes));
  order_.pop_front();
}

void ParallelRuns::finish() {
  submit();
  while (!order_.empty()) joinOldest();
  joiner_.finish();
}

}  // namespace unlha
