#include "add_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "command_error.h"
#include "cp932.h"
#include "lzh_header.h"
#include "member_writer.h"
#include "output_file.h"
#include "sjis_text.h"
#include "source_scan.h"
#include "unlha32.h"

namespace unlha {
namespace {

// Share of the progress fraction given to writing; the rest is verification.
constexpr double kWriteShare = 0.9;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The archive's file on disk: where it is, and what it holds now.
struct ArchiveTarget {
  std::string display;      // as the command named it (CP932)
  std::string systemPath;   // symbolic links resolved, so the rename replaces the file itself
  std::string folder;       // system path of its folder
  std::string baseName;     // system name within the folder
  bool exists = false;
  struct stat status {};
};

[[noreturn]] void writeError(const std::string& what, const std::string& name, int err) {
  throw CommandError(UNLHA_ERROR_WRITE, what + " \"" + name + "\": " + systemMessage(err));
}

ArchiveTarget locateArchive(const std::string& archive) {
  if (vedo::sjis::containsChar(archive, '*') || vedo::sjis::containsChar(archive, '?'))
    throw CommandError(UNLHA_ERROR_COMMAND, "wildcards are not allowed in the archive name: \"" + archive + "\"");
  const std::optional<std::string> sys = vedo::fs::toSystemPath(archive);
  if (!sys) throw CommandError(UNLHA_ERROR_NAME, "archive name cannot be held in CP932: \"" + archive + "\"");
  ArchiveTarget t;
  t.display = archive;
  t.systemPath = *sys;
  struct stat link {};
  if (::lstat(sys->c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(sys->c_str(), resolved) == nullptr) writeError("cannot follow the link", archive, errno);
    t.systemPath = resolved;
  }
  if (::stat(t.systemPath.c_str(), &t.status) == 0) {
    t.exists = true;
    if (!S_ISREG(t.status.st_mode)) writeError("not a file:", archive, EISDIR);
  } else if (errno != ENOENT) {
    writeError("cannot reach", archive, errno);
  }
  const std::size_t slash = t.systemPath.rfind('/');
  if (slash == std::string::npos) {
    t.folder = ".";
    t.baseName = t.systemPath;
  } else {
    t.folder = slash == 0 ? "/" : t.systemPath.substr(0, slash);
    t.baseName = t.systemPath.substr(slash + 1);
  }
  if (t.baseName.empty()) writeError("no file name in", archive, EISDIR);
  return t;
}

struct FdContext {
  int fd;
};

std::size_t readFd(void* ctx, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const long long n = readFullyAt(static_cast<FdContext*>(ctx)->fd, offset, std::span(out, size));
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

// Members of the existing archive. A file of one 0x00 byte is an empty archive;
// an empty file, or one that is a bare end mark followed by more bytes, is not
// an archive at all.
std::vector<MemberInfo> readExisting(const ArchiveTarget& t, Fd& fd) {
  fd.reset(::open(t.systemPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) writeError("cannot open the existing archive", t.display, errno);
  const std::uint64_t size = static_cast<std::uint64_t>(t.status.st_size);
  FdContext ctx{fd.get()};
  try {
    std::vector<MemberInfo> members = parseArchive(readFd, &ctx, size);
    if (members.empty() && size != 1) throw ArchiveError("no member and no archive structure");
    return members;
  } catch (const ArchiveError& e) {
    throw CommandError(UNLHA_ERROR_BAD_ARCHIVE,
                       "not a valid LZH archive: \"" + t.display + "\" (" + e.what() + ")");
  }
}

// A temporary file in the archive's folder, removed again unless committed.
class TempFile {
 public:
  explicit TempFile(const ArchiveTarget& t) : display_(t.display) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[17];
      std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
      path_ = t.folder + "/." + t.baseName + "." + suffix + ".tmp";
      // Mode 0666 lets the umask decide, as for any new file.
      fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
    if (fd_ < 0) writeError("cannot create a temporary file beside", display_, errno);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }

  // Closes, renames over `target` and syncs the folder, so the new name is as
  // durable as the data.
  void commit(const ArchiveTarget& target) {
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) writeError("cannot write", display_, errno);
    if (::rename(path_.c_str(), target.systemPath.c_str()) != 0) writeError("cannot replace", display_, errno);
    committed_ = true;
    Fd dir(::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The archive is in place at this point; a folder that cannot be synced (a
    // file system without directory fsync) is not worth failing the command for.
    if (dir.get() >= 0) ::fsync(dir.get());
  }

 private:
  std::string display_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

void copyMember(int from, const MemberInfo& m, OutputFile& out, const std::string& archive) {
  std::uint64_t offset = m.headerOffset;
  const std::uint64_t end = m.endOffset();
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(end - offset, 1 << 20)));
  while (offset < end) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), end - offset));
    const long long n = readFullyAt(from, offset, std::span(buf.data(), want));
    if (n <= 0)
      throw CommandError(UNLHA_ERROR_BAD_ARCHIVE, "cannot read the existing archive \"" + archive + "\"");
    out.write(std::span(buf.data(), static_cast<std::size_t>(n)));
    offset += static_cast<std::uint64_t>(n);
  }
}

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

Prepared prepareMember(const SourceFile& file, lzh::Method method) {
  Prepared p;
  try {
    p.member = writeMember(p.output, file, method, [](std::uint64_t) {});
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

  explicit AheadPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { run(); });
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
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return job.done; });
    return std::move(job.result);
  }

 private:
  void run() {
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_) return;  // a failed command does not finish work nobody will take
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      Prepared p = prepareMember(*job->file, job->method);
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
  bool stop_ = false;
};

unsigned workerCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, 4u); }

// Decodes every new member again, on all cores; the calling thread takes part
// and is the one that reports progress. Throws the first failure.
void verifyAll(int fd, std::uint64_t archiveSize, const std::vector<WrittenMember>& members,
               ProgressReport& report) {
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> finished{0};
  std::atomic<bool> failed{false};
  std::mutex errorMutex;
  std::exception_ptr error;
  auto work = [&](bool reporting) {
    for (std::size_t i; !failed.load() && (i = next.fetch_add(1)) < members.size();) {
      try {
        if (reporting) report.member(members[i].stored);
        verifyMember(fd, archiveSize, members[i]);
      } catch (...) {
        std::lock_guard lock(errorMutex);
        if (!error) error = std::current_exception();
        failed.store(true);
      }
      const std::size_t n = finished.fetch_add(1) + 1;
      if (reporting)
        report.fraction(kWriteShare + (1 - kWriteShare) * static_cast<double>(n) / static_cast<double>(members.size()));
    }
  };
  std::vector<std::thread> helpers;
  const std::size_t extra = std::min<std::size_t>(workerCount() - 1, members.size() / 2);
  for (std::size_t i = 0; i < extra; ++i) helpers.emplace_back(work, false);
  work(true);
  for (std::thread& t : helpers) t.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace

CommandResult runAdd(const Command& command, ProgressReport& report) {
  for (const std::string& s : command.sources)
    if (!vedo::cp932::toUtf8(s)) throw CommandError(UNLHA_ERROR_NAME, "source name is not valid CP932");
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
  auto advance = [&](std::uint64_t n) {
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

  std::vector<WrittenMember> written;
  std::size_t kept = 0;
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
      advance(written.back().originalSize);
    } else {
      report.member(files[s.index].stored);
      written.push_back(writeMember(out, files[s.index], command.method, advance));
    }
  }
  const std::size_t memberCount = plan.size();
  const std::uint8_t endMark = 0;
  out.write(std::span(&endMark, 1));
  out.flush();

  // Verify: the whole file parses as an archive with the expected members, and
  // every new member decodes to its CRC.
  const std::uint64_t archiveSize = out.position();
  FdContext ctx{temp.fd()};
  try {
    if (parseArchive(readFd, &ctx, archiveSize).size() != memberCount)
      throw CommandError(UNLHA_ERROR_VERIFY, "verification failed: member count differs");
  } catch (const ArchiveError& e) {
    throw CommandError(UNLHA_ERROR_VERIFY, std::string("verification failed: ") + e.what());
  }
  verifyAll(temp.fd(), archiveSize, written, report);

  out.sync();
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
