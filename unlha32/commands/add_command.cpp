#include "unlha32/commands/add_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/cp932.h"
#include "platform/sjis_text.h"
#include "unlha32/archive/archive_file.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/member_checker.h"
#include "unlha32/archive/member_writer.h"
#include "unlha32/archive/output_file.h"
#include "unlha32/archive/source_scan.h"
#include "unlha32/archive/verify_member.h"
#include "unlha32/include/unlha32.h"
#include "unlha32/archive/messages.h"

namespace unlha {
namespace {

std::string sizeText(std::uint64_t n) { return std::to_string(n); }

// One step of writing the new archive: copy old member `index`, or write new
// file `index`.
struct Step {
  bool copy;
  std::size_t index;
};

// Members up to this size are compressed ahead on worker threads into memory
// and appended in order, so that a folder of small files keeps every core
// busy; larger ones stream straight into the archive, keeping memory bounded
// (at most a window of two per core of these is held at once).
constexpr std::uint64_t kAheadMaxSize = 1 << 20;

struct Prepared {
  MemoryOutput output;
  WrittenMember member;
  std::exception_ptr error;
};

Prepared prepareMember(const SourceFile& file, lzh::Method method, MemberScratch& scratch) {
  Prepared p;
  try {
    p.member = writeMember(p.output, file, method, [](std::uint64_t) {}, &scratch);
  } catch (...) {
    p.error = std::current_exception();
  }
  return p;
}

// Worker threads that compress members ahead; results are taken back in the
// order the caller submitted them. A fixed set of threads, so a folder of
// small files does not pay for a thread per member.
class AheadPool {
 public:
  struct Job {
    const SourceFile* file = nullptr;
    lzh::Method method = lzh::Method::Lh5;
    Prepared result;
    bool done = false;
  };

  // A system that refuses a thread (a process limit, low memory) gets fewer
  // workers; with none at all, take() does the work on the calling thread.
  explicit AheadPool(unsigned threads) {
    workers_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
      try {
        workers_.emplace_back([this] { run(); });
      } catch (const std::system_error&) {
        break;
      }
    }
  }
  ~AheadPool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
  }
  AheadPool(const AheadPool&) = delete;
  AheadPool& operator=(const AheadPool&) = delete;

  std::shared_ptr<Job> submit(const SourceFile& file, lzh::Method method) {
    auto job = std::make_shared<Job>();
    job->file = &file;
    job->method = method;
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(job);
    }
    wake_.notify_one();
    return job;
  }

  Prepared take(Job& job) {
    if (workers_.empty()) return prepareMember(*job.file, job.method, inlineScratch_);
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return job.done; });
    return std::move(job.result);
  }

 private:
  void run() {
    MemberScratch scratch;
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;  // a failed command does not finish work nobody will take
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      Prepared p = prepareMember(*job->file, job->method, scratch);
      {
        std::lock_guard lock(mutex_);
        job->result = std::move(p);
        job->done = true;
      }
      finished_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<AheadPool::Job>> queue_;
  std::vector<std::thread> workers_;
  MemberScratch inlineScratch_;  // for take() when no worker could be started
  bool stop_ = false;
};

unsigned workerCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, 4u); }

}  // namespace

CommandResult runAdd(const Command& command, ProgressReport& report) {
  for (const std::string& s : command.sources)
    if (!vedo::cp932::toUtf8(s)) throw CommandError(UNLHA_ERROR_NAME, tr("source name is not valid CP932"));
  const ArchiveTarget target = locateArchive(command.archive);

  std::optional<vedo::fs::FileIdentity> self;
  if (target.exists)
    self = vedo::fs::FileIdentity{static_cast<std::uint64_t>(target.status.st_dev),
                                  static_cast<std::uint64_t>(target.status.st_ino), 0, 0};
  const std::vector<SourceFile> files = collectSources(command.sources, command.recurse, self);

  Fd old;
  std::vector<MemberInfo> existing;
  if (target.exists) existing = readExisting(target, old);

  std::uint64_t totalBytes = 0;
  for (const SourceFile& f : files) totalBytes += static_cast<std::uint64_t>(std::max<std::int64_t>(f.identity.size, 0));
  std::uint64_t doneBytes = 0;
  // Each report of progress is a safe point: the new archive is still in
  // its temporary file.
  auto advance = [&](std::uint64_t n) {
    throwIfCancelled(report);
    doneBytes += n;
    report.fraction(totalBytes == 0 ? kWriteShare
                                    : kWriteShare * static_cast<double>(std::min(doneBytes, totalBytes)) /
                                          static_cast<double>(totalBytes));
  };

  TempFile temp(target);
  if (target.exists) {
    // Keep the old archive's permissions; when they cannot be set, the
    // temporary file's (umask) permissions are an acceptable outcome.
    (void)::fchmod(temp.fd(), target.status.st_mode & 07777);
  }
  OutputFile out(temp.fd(), target.display);

  // The order of the new archive: old members where they were (a member of a
  // name being added is replaced in its place, a second one of that name is
  // dropped), then the remaining new members in search order.
  std::map<std::string, std::size_t> newByName;
  for (std::size_t i = 0; i < files.size(); ++i) newByName[files[i].stored] = i;
  std::vector<Step> plan;
  {
    std::vector<bool> placed(files.size(), false);
    for (std::size_t j = 0; j < existing.size(); ++j) {
      const auto it = newByName.find(existing[j].path);
      if (it == newByName.end()) {
        plan.push_back({true, j});
      } else if (!placed[it->second]) {
        plan.push_back({false, it->second});
        placed[it->second] = true;
      }
    }
    for (std::size_t i = 0; i < files.size(); ++i)
      if (!placed[i]) plan.push_back({false, i});
  }

  // New members go to the checker once every byte of them is in the file;
  // until then (small members wait in the output buffer) they are pending.
  MemberChecker checker(temp.fd());
  std::vector<WrittenMember> written;
  std::size_t pending = 0;  // written[pending..] not yet handed to the checker
  std::vector<std::uint64_t> ends;  // file end of each written member
  auto handOver = [&] {
    checker.throwIfFailed();  // no more writing once a member failed its check
    for (; pending < written.size() && ends[pending] <= out.flushedSize(); ++pending)
      checker.add(written[pending], ends[pending]);
  };
  std::size_t kept = 0;
  MemberScratch scratch;  // for the members this thread writes itself
  AheadPool pool(workerCount());
  const std::size_t window = 2 * workerCount();
  std::deque<std::pair<std::size_t, std::shared_ptr<AheadPool::Job>>> ahead;  // plan index, work
  std::size_t scan = 0;
  auto launchAhead = [&] {
    for (; ahead.size() < window && scan < plan.size(); ++scan) {
      const Step& s = plan[scan];
      if (s.copy || files[s.index].identity.size > static_cast<std::int64_t>(kAheadMaxSize)) continue;
      ahead.emplace_back(scan, pool.submit(files[s.index], command.method));
    }
  };

  for (std::size_t k = 0; k < plan.size(); ++k) {
    throwIfCancelled(report);
    launchAhead();
    const Step& s = plan[k];
    if (s.copy) {
      copyMember(old.get(), existing[s.index], out, target.display);
      ++kept;
    } else if (!ahead.empty() && ahead.front().first == k) {
      Prepared p = pool.take(*ahead.front().second);
      ahead.pop_front();
      if (p.error) std::rethrow_exception(p.error);
      report.member(p.member.stored);
      p.member.headerOffset += out.position();
      out.write(p.output.bytes());
      written.push_back(std::move(p.member));
      ends.push_back(out.position());
      advance(written.back().originalSize);
    } else {
      report.member(files[s.index].stored);
      written.push_back(writeMember(out, files[s.index], command.method, advance, &scratch, workerCount()));
      ends.push_back(out.position());
    }
    handOver();
  }
  const std::size_t memberCount = plan.size();
  const std::uint8_t endMark = 0;
  out.write(std::span(&endMark, 1));
  out.flush();
  handOver();

  // Verify: the whole file parses as an archive with the expected members, and
  // every new member decodes to its CRC (most of them checked already, while
  // the members after them were written).
  const std::uint64_t archiveSize = out.position();
  ArchiveReader reader(temp.fd(), archiveSize);
  try {
    if (parseArchive(ArchiveReader::readAt, &reader, archiveSize).size() != memberCount)
      throw CommandError(UNLHA_ERROR_VERIFY, tr("verification failed: member count differs"));
  } catch (const ArchiveError& e) {
    throw CommandError(UNLHA_ERROR_VERIFY, tr("verification failed") + ": " + e.what());
  }
  checker.finish(report, kWriteShare);

  out.sync();
  throwIfCancelled(report);  // the last point before the old archive is replaced
  temp.commit(target);

  CommandResult result;
  for (const WrittenMember& w : written) {
    result.message += w.stored + "  " + methodId(w.method) + "  " + sizeText(w.originalSize) + " -> " +
                      sizeText(w.packedSize) + "\n";
  }
  result.message += std::to_string(written.size()) + " file(s) added to \"" + target.display + "\"";
  if (kept != 0) result.message += ", " + std::to_string(kept) + " kept";
  result.message += "\n";
  return result;
}

}  // namespace unlha
