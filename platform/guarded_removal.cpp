#include "platform/guarded_removal.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/sjis_text.h"
#include "platform/unique_fd.h"

namespace vedo::fs {
namespace {

std::function<void(testing::RemovalStep, const std::string&)>& removalHook() {
  static std::function<void(testing::RemovalStep, const std::string&)> hook;
  return hook;
}

void reach(testing::RemovalStep step, const std::string& systemPath) {
  if (removalHook()) removalHook()(step, systemPath);
}

// Moves `from` to a fresh private name in the same folder without replacing
// anything; the chosen name goes into `to`. 0 or errno (EINVAL where the
// file system cannot rename without replacing: then nothing is moved).
int moveAside(int dir, const std::string& from, std::string& to) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    to = "vedo-kept-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

bool sameSizeAndTime(const struct stat& st, const FileIdentity& expected) {
  const FileIdentity now = identityOf(st);
  return now.size == expected.size && now.mtimeNs == expected.mtimeNs;
}

}  // namespace

RemovalResult removeGuarded(std::string_view path, const FileIdentity& expected, const ContentCheck& sameContent) {
  const auto sys = toSystemPath(path);
  if (!sys) return {EINVAL, {}};
  const std::size_t slash = sys->rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : sys->substr(0, slash);
  const std::string name = slash == std::string::npos ? *sys : sys->substr(slash + 1);
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) return {errno, {}};

  reach(testing::RemovalStep::BeforeCheck, *sys);
  // O_NONBLOCK: whatever stands under the name now, the open must not wait.
  const UniqueFd file(::openat(dir.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file) return {errno, {}};
  struct stat st;
  if (::fstat(file.get(), &st) != 0) return {errno, {}};
  if (S_ISDIR(st.st_mode)) return {EISDIR, {}};
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return {EACCES, {}};
  if (!S_ISREG(st.st_mode) || !(identityOf(st) == expected)) return {ESTALE, {}};

  std::string aside;
  if (const int e = moveAside(dir.get(), name, aside); e != 0) return {e, {}};
  reach(testing::RemovalStep::MovedAside, *sys);

  // What was under the name when it moved is under the private name now.
  struct stat there;
  const bool same = ::fstatat(dir.get(), aside.c_str(), &there, 0) == 0 && there.st_dev == st.st_dev &&
                    there.st_ino == st.st_ino && sameSizeAndTime(there, expected) &&
                    (!sameContent || sameContent(file.get()));
  if (same) {
    if (::unlinkat(dir.get(), aside.c_str(), 0) == 0) return {};
  }
  const int why = same ? errno : ESTALE;
  if (::renameat2(dir.get(), aside.c_str(), dir.get(), name.c_str(), RENAME_NOREPLACE) == 0) return {why, {}};
  return {why, sjis::folderPart(path) + aside};
}

bool sameBytes(int fd, std::string_view path) {
  const auto sys = toSystemPath(path);
  if (!sys) return false;
  const UniqueFd other(::open(sys->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat a, b;
  if (!other || ::fstat(fd, &a) != 0 || ::fstat(other.get(), &b) != 0 || !S_ISREG(b.st_mode) ||
      a.st_size != b.st_size)
    return false;
  constexpr std::size_t Chunk = 1 << 16;
  auto left = std::make_unique<char[]>(Chunk);
  auto right = std::make_unique<char[]>(Chunk);
  for (off_t offset = 0;;) {
    const ssize_t n = ::pread(fd, left.get(), Chunk, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(n)) {
      const ssize_t m = ::pread(other.get(), right.get() + got, static_cast<std::size_t>(n) - got,
                                offset + static_cast<off_t>(got));
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) return false;
      got += static_cast<std::size_t>(m);
    }
    if (n == 0) {
      char extra;
      return ::pread(other.get(), &extra, 1, offset) == 0;
    }
    if (std::memcmp(left.get(), right.get(), static_cast<std::size_t>(n)) != 0) return false;
    offset += n;
  }
}

namespace testing {
void setRemovalHook(std::function<void(RemovalStep, const std::string&)> hook) { removalHook() = std::move(hook); }
}  // namespace testing

}  // namespace vedo::fs
