#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/cp932.h"
#include "platform/replace_file.h"
#include "platform/sjis_text.h"
#include "platform/unique_fd.h"

namespace vedo::fs {
namespace {

std::int64_t nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::uint32_t attributesOf(std::string_view name, const struct stat& st) {
  std::uint32_t a = 0;
  if (S_ISDIR(st.st_mode)) {
    a |= Directory;
  } else {
    a |= Archive;
  }
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) a |= ReadOnly;
  if (!name.empty() && name.front() == '.') a |= Hidden;
  return a;
}

// Hidden entries and folders are found only when the mask asks for them;
// plain files always.
bool wantedByMask(std::uint32_t attributes, std::uint32_t mask) {
  const std::uint32_t special = attributes & (Hidden | System | Directory);
  return (special & ~mask) == 0;
}

bool hasWildcard(std::string_view name) {
  return sjis::containsChar(name, '*') || sjis::containsChar(name, '?');
}

// Character-wise wildcard match: "*" any run of characters, "?" exactly one
// character (a double-byte character is one). Greedy with backtracking to the
// last "*" only, so the time stays linear in practice whatever the pattern.
bool matchCharacters(std::string_view pat, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t starP = sjis::npos, starN = 0;
  while (n < name.size()) {
    const std::size_t nl = sjis::charLength(name, n);
    if (p < pat.size()) {
      const std::size_t pl = sjis::charLength(pat, p);
      if (pl == 1 && pat[p] == '*') {
        starP = ++p;
        starN = n;
        continue;
      }
      if ((pl == 1 && pat[p] == '?') || (pl == nl && pat.compare(p, pl, name.substr(n, nl)) == 0)) {
        p += pl;
        n += nl;
        continue;
      }
    }
    if (starP == sjis::npos) return false;
    // Let the last "*" take one more character and retry from there.
    starN += sjis::charLength(name, starN);
    n = starN;
    p = starP;
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

}  // namespace

// A trailing ".*" also matches a name without that extension, as users expect
// from "*.*" (every name) and "REPORT.*" (REPORT among others). "." is below
// the second-byte range of double-byte characters, so it always stands alone.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
  if (matchCharacters(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         matchCharacters(pattern.substr(0, pattern.size() - 2), name);
}

std::optional<std::string> toSystemPath(std::string_view path) {
  return cp932::toUtf8(sjis::toSystemSeparators(path));
}

std::vector<FoundFile> findFiles(std::string_view pattern, std::uint32_t mask) {
  int ignored = 0;
  return findFiles(pattern, mask, ignored);
}

std::vector<FoundFile> findFiles(std::string_view pattern, std::uint32_t mask, int& error) {
  error = 0;
  std::vector<FoundFile> found;
  const std::string folder = sjis::folderPart(pattern);
  const std::string name = sjis::namePart(pattern);
  if (name.empty() || name == "." || name == "..") return found;
  if (hasWildcard(folder)) return found;  // wildcards stand in the name part only

  // Missing names are simply not found; any other failure leaves the listing incomplete.
  auto noteFailure = [&](int e) {
    if (e != ENOENT && e != ENOTDIR && error == 0) error = e;
  };
  // `at`: the folder's descriptor for a name within it (one component for
  // the system to look up, not the whole path again), or AT_FDCWD.
  auto add = [&](const std::string& cpName, int at, const char* systemPath) {
    struct stat st;
    if (::fstatat(at, systemPath, &st, 0) != 0) {
      noteFailure(errno);
      return;
    }
    const std::uint32_t attributes = attributesOf(cpName, st);
    if (!wantedByMask(attributes, mask)) return;
    found.push_back(FoundFile{cpName, attributes, identityOf(st)});
  };

  if (!hasWildcard(name)) {
    if (auto sys = toSystemPath(pattern)) add(name, AT_FDCWD, sys->c_str());
    return found;
  }

  const auto sysFolder = toSystemPath(folder.empty() ? std::string(".") : folder);
  if (!sysFolder) return found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(sysFolder->c_str()), ::closedir);
  if (!dir) {
    noteFailure(errno);
    return found;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      if (errno != 0) noteFailure(errno);
      break;
    }
    const std::string_view sysName(entry->d_name);
    if (sysName == "." || sysName == "..") continue;
    // A "\\" in a name on disk would read as a separator in the tool's paths,
    // so the match could never be named again: it is invisible, like a name
    // CP932 cannot hold.
    if (sysName.find('\\') != std::string_view::npos) continue;
    // A name CP932 cannot hold is invisible to the tool: never matched, never touched.
    auto cpName = cp932::fromUtf8(sysName);
    if (!cpName || !wildcardMatch(name, *cpName)) continue;
    add(*cpName, ::dirfd(dir.get()), entry->d_name);
  }
  return found;
}

bool fileExists(std::string_view path) {
  auto found = findFiles(path, AnyFile);
  return !found.empty() && (found.front().attributes & Directory) == 0;
}

FileIdentity identityOf(const struct stat& st) {
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                      static_cast<std::int64_t>(st.st_size), nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
}

std::optional<FileIdentity> identityOf(std::string_view path) {
  auto sys = toSystemPath(path);
  struct stat st;
  if (!sys || ::stat(sys->c_str(), &st) != 0) return std::nullopt;
  return identityOf(st);
}

int deleteFile(std::string_view path) {
  auto sys = toSystemPath(path);
  if (!sys) return EINVAL;
  struct stat st;
  if (::lstat(sys->c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  struct stat target;
  const struct stat& modeOf = ::stat(sys->c_str(), &target) == 0 ? target : st;
  if ((modeOf.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
  return ::unlink(sys->c_str()) == 0 ? 0 : errno;
}

int copyFile(std::string_view src, std::string_view dst, FileIdentity* sourceRead) {
  auto sysSrc = toSystemPath(src);
  auto sysDst = toSystemPath(dst);
  if (!sysSrc || !sysDst) return EINVAL;

  // O_NONBLOCK: opening a FIFO must not wait for a writer. It has no effect
  // on the regular file that is all this copies.
  const UniqueFd in(::open(sysSrc->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!in) return errno;
  struct stat srcStat;
  if (::fstat(in.get(), &srcStat) != 0) return errno;
  if (!S_ISREG(srcStat.st_mode)) return S_ISDIR(srcStat.st_mode) ? EISDIR : EINVAL;
  struct stat dstStat;
  if (::stat(sysDst->c_str(), &dstStat) == 0) {
    if (dstStat.st_dev == srcStat.st_dev && dstStat.st_ino == srcStat.st_ino) return EINVAL;  // onto itself
    if (S_ISDIR(dstStat.st_mode)) return EISDIR;
    if ((dstStat.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;  // read-only target
  }
  if (sourceRead) *sourceRead = identityOf(srcStat);

  // A copy counts only when it and its folder are durable: a move removes
  // its source after it.
  return replaceAtomically(*sysDst, [&](int out) {
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (const int e = writeAll(out, buffer, static_cast<std::size_t>(n)); e != 0) return e;
    }
    const struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
    if (::fchmod(out, srcStat.st_mode & 07777) != 0) return errno;
    return ::futimens(out, times) == 0 ? 0 : errno;
  }).error;
}

int createFolder(std::string_view path) {
  auto sys = toSystemPath(path);
  if (!sys) return EINVAL;
  return ::mkdir(sys->c_str(), 0777) == 0 ? 0 : errno;
}

int changeFolder(std::string_view path) {
  auto sys = toSystemPath(path);
  if (!sys) return EINVAL;
  return ::chdir(sys->c_str()) == 0 ? 0 : errno;
}

std::optional<std::string> currentFolder() {
  std::string buffer(4096, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return cp932::fromUtf8(buffer);
}

}  // namespace vedo::fs
