#include "unlha32/commands/add_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "platform/cp932.h"
#include "platform/sjis_text.h"
#include "unlha32/archive/archive_file.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/member_checker.h"
#include "unlha32/archive/member_writer.h"
#include "unlha32/archive/messages.h"
#include "unlha32/archive/output_file.h"
#include "unlha32/archive/source_scan.h"
#include "unlha32/archive/verify_member.h"
#include "unlha32/archive/worker_pool.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

std::string sizeText(std::uint64_t n) { return std::to_string(n); }

// One step of writing the new archive: copy old member `index`, or write new
// file `index`.
struct Step {
  bool copy;
  std::size_t index;
};

// Members up to this size are compressed ahead on the pool's workers into
// memory and appended in order, so that a folder of small files keeps every
// core busy; larger ones stream straight into the archive, keeping memory
// bounded. They are written without the pool: a task never waits for another.
constexpr std::uint64_t kAheadMaxSize = 1 << 20;
// The members compressed ahead at once: up to this many per worker and this
// many source bytes in all. The
// window is wide so that a long member at its front, on one worker, does not
// leave the others idle once they have done the short ones behind it.
constexpr std::size_t kAheadPerWorker = 16;
constexpr std::uint64_t kAheadBytes = 4 << 20;
// Written bytes buffered before they go to the file and their members to
// the checker.
constexpr std::uint64_t kCheckBatch = 256 << 10;

// Hands the buffer to the file once it holds kCheckBatch, so that the checks
// follow the writing closely and few are left at the end.
void flushInBatches(OutputFile& out) {
  if (out.position() - out.flushedSize() >= kCheckBatch) out.flush();
}

// Passes a large member's packed data on to the checker as it goes to the
// file, in parts of kCheckBatch, so that it is checked while it is written.
class CheckWhileWriting final : public PackedDataWatch {
 public:
  CheckWhileWriting(OutputFile& out, MemberChecker& checker) : out_(out), checker_(checker) {}
  void started(std::uint64_t headerOffset, std::uint64_t dataOffset, lzh::Method method,
               std::uint64_t size) override {
    checker_.startStream(headerOffset, dataOffset, method, size);
  }
  void wrote() override {
    flushInBatches(out_);
    if (out_.flushedSize() != told_) checker_.streamWritten(told_ = out_.flushedSize());
  }
  void dropped() override { checker_.dropStream(); }

 private:
  OutputFile& out_;
  MemberChecker& checker_;
  std::uint64_t told_ = 0;  // the file end the checker knows of
};

// A member compressed ahead into memory, taken back in plan order.
struct Ahead {
  std::size_t step = 0;  // index in the plan
  std::uint64_t size = 0;  // source bytes, as the search found them
  MemoryOutput output;
  WrittenMember member;
  WorkerPool::Task task;
};

}  // namespace

CommandResult runAdd(const Command& command, ProgressReport& report) {
  for (const std::string& s : command.sources)
    if (!vedo::cp932::toUtf8(s)) throw CommandError(UNLHA_ERROR_NAME, tr("source name is not valid CP932"));
  ArchiveTarget target = locateArchive(command.archive);
  const ArchiveLock lock(target, report);

  std::optional<vedo::fs::FileIdentity> self;
  if (target.exists)
    self = vedo::fs::FileIdentity{static_cast<std::uint64_t>(target.status.st_dev),
                                  static_cast<std::uint64_t>(target.status.st_ino), 0, 0};
  const std::vector<SourceFile> files = collectSources(command.sources, command.recurse, self);

  vedo::UniqueFd old;
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

  std::vector<WrittenMember> written;
  std::size_t kept = 0;
  replaceArchive(target, [&](int fd) {
    OutputFile out(fd, target.display);
    out.syncBehind();
    // One set of threads for compressing ahead, the runs of large members and
    // the checks; declared first, so that it goes last.
    WorkerPool pool(WorkerPool::workersForThisMachine());
    // New members go to the checker once every byte of them is in the file;
    // until then (small members wait in the output buffer) they are pending.
    MemberChecker checker(fd, pool);
    std::size_t pending = 0;  // written[pending..] not yet handed to the checker
    std::vector<std::uint64_t> ends;  // file end of each written member
    auto handOver = [&] {
      checker.throwIfFailed();  // no more writing once a member failed its check
      flushInBatches(out);
      for (; pending < written.size() && ends[pending] <= out.flushedSize(); ++pending)
        checker.add(written[pending], ends[pending]);
    };
    CheckWhileWriting watch(out, checker);
    MemberScratch scratch;  // for the members this thread writes itself
    // One per pool slot, for the members compressed ahead; the calling
    // thread's slot uses `scratch`.
    std::vector<std::unique_ptr<MemberScratch>> aheadScratch(pool.slots());
    auto scratchOf = [&](std::size_t slot) -> MemberScratch& {
      if (slot == pool.workers()) return scratch;
      if (!aheadScratch[slot]) aheadScratch[slot] = std::make_unique<MemberScratch>();
      return *aheadScratch[slot];
    };
    const std::size_t window = kAheadPerWorker * std::max(pool.workers(), 1u);
    // The deque keeps each entry in place while others are added and taken,
    // and its task ends before it goes.
    std::deque<Ahead> ahead;
    std::uint64_t aheadBytes = 0;  // source bytes of the members in `ahead`
    std::size_t scan = 0;
    auto launchAhead = [&] {
      for (; ahead.size() < window && scan < plan.size(); ++scan) {
        const Step& s = plan[scan];
        if (s.copy || files[s.index].identity.size > static_cast<std::int64_t>(kAheadMaxSize)) continue;
        const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(files[s.index].identity.size, 0));
        if (!ahead.empty() && aheadBytes + size > kAheadBytes) break;
        aheadBytes += size;
        Ahead& a = ahead.emplace_back();
        a.size = size;
        a.step = scan;
        const SourceFile& file = files[s.index];
        a.task = pool.submit([&a, &file, &scratchOf, method = command.method](std::size_t slot) {
          a.member = writeMember(a.output, file, method, [](std::uint64_t) {}, &scratchOf(slot));
        });
      }
    };

    for (std::size_t k = 0; k < plan.size(); ++k) {
      throwIfCancelled(report);
      launchAhead();
      const Step& s = plan[k];
      if (s.copy) {
        copyMember(old.get(), existing[s.index], out, target.display);
        ++kept;
      } else if (!ahead.empty() && ahead.front().step == k) {
        Ahead& a = ahead.front();
        a.task.wait();
        report.member(a.member.stored);
        a.member.headerOffset += out.position();
        out.write(a.output.bytes());
        written.push_back(std::move(a.member));
        ends.push_back(out.position());
        aheadBytes -= a.size;
        ahead.pop_front();
        advance(written.back().originalSize);
      } else {
        report.member(files[s.index].stored);
        written.push_back(writeMember(out, files[s.index], command.method, advance, &scratch, &pool, &watch));
        ends.push_back(out.position());
      }
      handOver();
    }
    const std::size_t memberCount = plan.size();
    const std::uint8_t endMark = 0;
    out.write(std::span(&endMark, 1));
    out.flush();
    handOver();
    // The data goes to the disk while the last members are checked, so the
    // sync before the rename has little left to wait for. (A cancel or a
    // failed check from here on waits for this sync before it is reported.)
    throwIfCancelled(report);
    WorkerPool::Task sync = pool.submit([&out](std::size_t) { out.syncFlushed(); });

    // Verify: the whole file parses as an archive with the expected members, and
    // every new member decodes to its CRC (most of them checked already, while
    // the members after them were written).
    const std::uint64_t archiveSize = out.position();
    ArchiveReader reader(fd, archiveSize);
    try {
      if (countArchiveMembers(ArchiveReader::readAt, &reader, archiveSize) != memberCount)
        throw CommandError(UNLHA_ERROR_VERIFY, tr("verification failed: member count differs"));
    } catch (const ArchiveError& e) {
      throw CommandError(UNLHA_ERROR_VERIFY, tr("verification failed") + ": " + e.what());
    }
    checker.finish(report, kWriteShare, &reader);
    sync.wait();
    throwIfCancelled(report);  // the last point before the old archive is replaced
    // replaceArchive syncs the file before it takes the archive's name.
  });

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
