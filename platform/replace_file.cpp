#include "platform/replace_file.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/unique_fd.h"

namespace vedo::fs {
namespace {

std::atomic<bool> namedTemporaryForced{false};

// A named temporary file in a folder, removed again unless it took its final
// name. Its name is short so that it fits wherever the final name fits.
class TemporaryName {
 public:
  explicit TemporaryName(int dir) : dir_(dir) {}
  ~TemporaryName() {
    if (!name_.empty()) ::unlinkat(dir_, name_.c_str(), 0);
  }
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;

  bool empty() const { return name_.empty(); }
  const char* c_str() const { return name_.c_str(); }
  void forget() { name_.clear(); }

  // Creates a new empty file under a fresh name into `file`. 0 or errno.
  int create(UniqueFd& file) {
    return pick([&](const std::string& name) {
      file.reset(::openat(dir_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      return file ? 0 : errno;
    });
  }

  // Gives the unnamed file `fd` a fresh name. 0 or errno.
  int link(int fd) {
    return pick([&](const std::string& name) { return linkUnnamed(fd, dir_, name); });
  }

  // Links an unnamed file (O_TMPFILE) under `name`; fails with EEXIST when
  // the name is taken. The direct way needs a privilege most users lack; the
  // descriptor's entry under /proc needs none.
  static int linkUnnamed(int fd, int dir, const std::string& name) {
    if (::linkat(fd, "", dir, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, proc.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
  }

 private:
  template <typename Make>
  int pick(Make make) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = ".vedo" + std::to_string(::getpid()) + "." + std::to_string(counter++);
      const int e = make(name);
      if (e == 0) {
        name_ = std::move(name);
        return 0;
      }
      if (e != EEXIST) return e;
    }
    return EEXIST;
  }

  int dir_;
  std::string name_;
};

// True when an O_TMPFILE open failed because the file system (or the
// kernel) cannot make unnamed files, not for a reason a named file shares.
bool lacksUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Renames `from` to `to` in `dir`; with Existing::Keep never over an
// existing `to` (EEXIST). 0 or errno.
int moveInto(int dir, const char* from, const std::string& to, Existing existing) {
  if (existing == Existing::Replace) return ::renameat(dir, from, dir, to.c_str()) == 0 ? 0 : errno;
  if (::renameat2(dir, from, dir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot rename without replacing: a link never
  // replaces; without links either, look, then rename.
  if (::linkat(dir, from, dir, to.c_str(), 0) == 0) {
    ::unlinkat(dir, from, 0);
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  struct stat st;
  if (::fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return ::renameat(dir, from, dir, to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

ReplaceResult replaceAtomically(const std::string& systemPath, const FileWriter& write,
                                const ReplaceCheck& beforeRename) {
  const std::size_t slash = systemPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : systemPath.substr(0, slash);
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return {errno};
  return replaceAtomicallyAt(dir.get(), slash == std::string::npos ? systemPath : systemPath.substr(slash + 1), write,
                             beforeRename);
}

ReplaceResult replaceAtomicallyAt(int dir, const std::string& name, const FileWriter& write,
                                  const ReplaceCheck& beforeRename, Existing existing, Durability durability) {
  const bool sync = durability == Durability::Durable;
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return {EISDIR};
  TemporaryName temporary(dir);
  UniqueFd file;
  // An unnamed file gets its name through /proc (see linkUnnamed); without
  // /proc a named one is the only way.
  static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
  if (!namedTemporaryForced && procFds) {
    file.reset(::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (!file && !lacksUnnamedFiles(errno)) return {errno};
  }
  if (!file) {
    if (const int e = temporary.create(file); e != 0) return {e};
  }

  if (const int e = write(file.get()); e != 0) return {e};
  if (sync && ::fsync(file.get()) != 0) return {errno};
  if (beforeRename) {
    if (const int e = beforeRename(); e != 0) return {e};
  }

  if (temporary.empty()) {
    // A free name is taken in one step, by a link, which never replaces; an
    // existing file is replaced through a short-lived name and a rename.
    const int linked = TemporaryName::linkUnnamed(file.get(), dir, name);
    if (linked != 0 && (linked != EEXIST || existing == Existing::Keep)) return {linked};
    if (linked == EEXIST) {
      if (const int l = temporary.link(file.get()); l != 0) return {l};
    }
  }
  if (!temporary.empty()) {
    if (const int e = moveInto(dir, temporary.c_str(), name, existing); e != 0) return {e};
    temporary.forget();
  }
  return {!sync || ::fsync(dir) == 0 ? 0 : errno, true};
}

int writeAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

namespace testing {
void forceNamedTemporary(bool on) { namedTemporaryForced = on; }
}  // namespace testing

}  // namespace vedo::fs
