#pragma once
// Compresses one large member on the workers of a pool: its bytes are cut into
// runs of kRunSize, each run is compressed on a worker with the bytes before it as
// history (lzh::encodeRun), and the runs are joined bit by bit, in order, into
// the member's packed data. Memory stays bounded: a few runs per thread are
// in flight at a time, whatever the member's size.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "unlha32/archive/worker_pool.h"
#include "unlha32/codec/large_buffer.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha {

class ParallelRuns {
 public:
  // Bytes per run: each run ends a block (a few bytes of tables) and starts
  // its parse afresh, so runs are long against a block.
  static constexpr std::size_t kRunSize = 1 << 20;

  // Memory kept from one member to the next (the writer keeps one per
  // archive): each pool slot's encoder workspace and the buffers of finished
  // runs. Made afresh for every member, their pages were mapped and cleared
  // again each time, about a tenth of the time of a set of large files.
  struct Memory {
    std::vector<std::unique_ptr<lzh::EncoderWorkspace>> workspaces;  // one per pool slot
    std::vector<lzh::LargeBytes> spareInputs;
    std::vector<lzh::LargeBytes> spareOutputs;
  };

  // `sink` receives the joined packed bytes, on the thread that calls write()
  // and finish(); it may throw to give up, which those calls pass on. Runs
  // are compressed on the workers of `pool` (by the calling thread when a run
  // it waits for was not taken yet, or the pool has no workers). `memory`:
  // what an earlier member's runs left, used by one ParallelRuns at a time;
  // null for memory of its own.
  ParallelRuns(lzh::Method method, WorkerPool& pool, lzh::ByteSink sink, Memory* memory = nullptr);
  // Runs not yet joined are dropped (those being compressed, once done); the
  // inputs of runs that were compressed go back to the memory.
  ~ParallelRuns();
  ParallelRuns(const ParallelRuns&) = delete;
  ParallelRuns& operator=(const ParallelRuns&) = delete;

  // The next bytes of the member.
  void write(std::span<const std::uint8_t> data);
  // Compresses what is left and joins every run; then the packed data is complete.
  void finish();
  // Packed bytes so far (after finish: the member's packed size).
  std::uint64_t packedSize() const { return joiner_.packedSize(); }

 private:
  struct Job {
    std::vector<std::uint8_t> history;
    lzh::LargeBytes data;
    lzh::PackedRun result;
    WorkerPool::Task task;
  };

  void submit();
  // Waits for the oldest run and joins it.
  void joinOldest();
  // Compresses `job` on pool slot `slot`.
  void compress(Job& job, std::size_t slot);
  // A buffer from `spares` (cleared, its memory kept) or a new one.
  lzh::LargeBytes reuse(std::vector<lzh::LargeBytes>& spares);
  // Keeps `buffer` in `spares` for a later run (or drops it when there is no room).
  void keep(std::vector<lzh::LargeBytes>& spares, lzh::LargeBytes&& buffer);

  lzh::Method method_;
  WorkerPool& pool_;
  lzh::RunJoiner joiner_;
  std::size_t dictionary_;
  std::size_t inFlightLimit_;
  lzh::LargeBytes current_;  // bytes of the run being gathered
  std::vector<std::uint8_t> history_;  // the last dictionary's worth before current_

  std::unique_ptr<Memory> ownMemory_;
  // Workspaces, one per pool slot, each made on its first run. Buffers of runs
  // done with, for the next ones: large buffers taken fresh and dropped per
  // run would be mapped and unmapped by the system each time.
  Memory& memory_;
  std::mutex mutex_;  // guards the spares
  // Every run not yet joined, in member order. Last, so that it goes first:
  // its tasks use everything above.
  std::deque<Job> order_;
};

}  // namespace unlha
