#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/cp932.h"
#include "platform/sjis_text.h"

namespace vedo::fs {
namespace {

FileIdentity identityFrom(const struct stat& st) {
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                      static_cast<std::int64_t>(st.st_size),
                      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
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
  auto add = [&](const std::string& cpName, const std::string& systemPath) {
    struct stat st;
    if (::stat(systemPath.c_str(), &st) != 0) {
      noteFailure(errno);
      return;
    }
    const std::uint32_t attributes = attributesOf(cpName, st);
    if (!wantedByMask(attributes, mask)) return;
    found.push_back(FoundFile{cpName, attributes, identityFrom(st)});
  };

  if (!hasWildcard(name)) {
    if (auto sys = toSystemPath(pattern)) add(name, *sys);
    return found;
  }

  const auto sysFolder = toSystemPath(folder.empty() ? std::string(".") : folder);
  if (!sysFolder) return found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(sysFolder->c_str()), ::closedir);
  if (!dir) {
    noteFailure(errno);
    return found;
  }
  std::string prefix = *sysFolder;
  if (prefix.back() != '/') prefix += '/';
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (!entry) {
      if (errno != 0) noteFailure(errno);
      break;
    }
    const std::string_view sysName(entry->d_name);
    if (sysName == "." || sysName == "..") continue;
    // A name CP932 cannot hold is invisible to the tool: never matched, never touched.
    auto cpName = cp932::fromUtf8(sysName);
    if (!cpName || !wildcardMatch(name, *cpName)) continue;
    add(*cpName, prefix + std::string(sysName));
  }
  return found;
}

bool fileExists(std::string_view path) {
  auto found = findFiles(path, AnyFile);
  return !found.empty() && (found.front().attributes & Directory) == 0;
}

std::optional<FileIdentity> identityOf(std::string_view path) {
  auto sys = toSystemPath(path);
  struct stat st;
  if (!sys || ::stat(sys->c_str(), &st) != 0) return std::nullopt;
  return identityFrom(st);
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

int copyFile(std::string_view src, std::string_view dst) {
  auto sysSrc = toSystemPath(src);
  auto sysDst = toSystemPath(dst);
  if (!sysSrc || !sysDst) return EINVAL;

  const int in = ::open(sysSrc->c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  struct stat srcStat;
  if (::fstat(in, &srcStat) != 0 || S_ISDIR(srcStat.st_mode)) {
    const int e = S_ISDIR(srcStat.st_mode) ? EISDIR : errno;
    ::close(in);
    return e;
  }
  struct stat dstStat;
  if (::stat(sysDst->c_str(), &dstStat) == 0) {
    int refuse = 0;
    if (dstStat.st_dev == srcStat.st_dev && dstStat.st_ino == srcStat.st_ino) refuse = EINVAL;  // onto itself
    else if (S_ISDIR(dstStat.st_mode)) refuse = EISDIR;
    else if ((dstStat.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) refuse = EACCES;  // read-only target
    if (refuse) {
      ::close(in);
      return refuse;
    }
  }

  // Write beside the destination and rename into place, so the destination is
  // either the old file or the complete copy.
  std::string tmp = *sysDst;
  std::size_t slash = tmp.rfind('/');
  tmp.insert(slash == std::string::npos ? 0 : slash + 1, ".vedo-copy-");
  tmp += ".XXXXXX";
  const int out = ::mkstemp(tmp.data());
  if (out < 0) {
    const int e = errno;
    ::close(in);
    return e;
  }
  int error = 0;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    for (ssize_t done = 0; done < n && !error;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno != EINTR) error = errno;
      if (w > 0) done += w;
    }
    if (error) break;
  }
  ::close(in);
  const struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
  if (!error && ::fchmod(out, srcStat.st_mode & 07777) != 0) error = errno;
  if (!error && ::futimens(out, times) != 0) error = errno;
  if (!error && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && !error) error = errno;
  if (!error && ::rename(tmp.c_str(), sysDst->c_str()) != 0) error = errno;
  if (error) ::unlink(tmp.c_str());
  return error;
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
