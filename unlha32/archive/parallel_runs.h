#pragma once
// Compresses one large member on several threads: its bytes are cut into runs
// of kRunSize, each run is compressed on a worker with the bytes before it as
// history (lzh::encodeRun), and the runs are joined bit by bit, in order, into
// the member's packed data. Memory stays bounded: a few runs per thread are
// in flight at a time, whatever the member's size.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "unlha32/codec/lzh_codec.h"

namespace unlha {

class ParallelRuns {
 public:
  // Bytes per run: each run ends a block (a few bytes of tables) and starts
  // its parse afresh, so runs are long against a block.
  static constexpr std::size_t kRunSize = 1 << 20;

  // `sink` receives the joined packed bytes, on the thread that calls write()
  // and finish(); it may throw to give up, which those calls pass on. With
  // `threads` workers; when the system refuses them, runs are compressed on
  // the calling thread.
  ParallelRuns(lzh::Method method, unsigned threads, lzh::ByteSink sink);
  // Stops the workers; runs not yet joined are dropped.
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
    std::vector<std::uint8_t> data;
    lzh::PackedRun result;
    std::exception_ptr error;
    bool done = false;
  };

  void submit();
  // Waits for the oldest run and joins it.
  void joinOldest();
  void run();
  // Compresses `job`, recording a failure in it; `workspace` is made on first use.
  void compress(Job& job, std::unique_ptr<lzh::EncoderWorkspace>& workspace);
  // A buffer from `spares` (cleared, its memory kept) or a new one.
  std::vector<std::uint8_t> reuse(std::vector<std::vector<std::uint8_t>>& spares);

  lzh::Method method_;
  lzh::RunJoiner joiner_;
  std::size_t dictionary_;
  std::size_t inFlightLimit_;
  std::vector<std::uint8_t> current_;  // bytes of the run being gathered
  std::vector<std::uint8_t> history_;  // the last dictionary's worth before current_

  std::mutex mutex_;
  std::condition_variable wake_;      // workers: a job is queued, or stop
  std::condition_variable jobDone_;   // caller: a job is done
  std::deque<std::shared_ptr<Job>> order_;   // every job not yet joined, in member order
  std::deque<std::shared_ptr<Job>> queue_;   // jobs no worker has taken yet
  // Buffers of runs done with, for the next ones: large buffers taken fresh
  // and dropped per run would be mapped and unmapped by the system each time.
  std::vector<std::vector<std::uint8_t>> spareInputs_;
  std::vector<std::vector<std::uint8_t>> spareOutputs_;
  bool stop_ = false;
  std::vector<std::thread> workers_;
  std::unique_ptr<lzh::EncoderWorkspace> inlineWorkspace_;  // when there is no worker, made on first use
};

}  // namespace unlha
