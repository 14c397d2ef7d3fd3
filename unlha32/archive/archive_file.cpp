#include "unlha32/archive/archive_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/file_system.h"
#include "platform/sjis_text.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/include/unlha32.h"
#include "unlha32/archive/messages.h"

namespace unlha {

void Fd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

void writeError(const std::string& what, const std::string& name, int err) {
  throw CommandError(UNLHA_ERROR_WRITE, tr(what.c_str()) + " \"" + name + "\": " + systemMessage(err));
}

ArchiveTarget locateArchive(const std::string& archive) {
  if (vedo::sjis::containsChar(archive, '*') || vedo::sjis::containsChar(archive, '?'))
    throw CommandError(UNLHA_ERROR_COMMAND, tr("wildcards are not allowed in the archive name") + ": \"" + archive + "\"");
  const std::optional<std::string> sys = vedo::fs::toSystemPath(archive);
  if (!sys) throw CommandError(UNLHA_ERROR_NAME, tr("archive name cannot be held in CP932") + ": \"" + archive + "\"");
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

std::size_t readFd(void* ctx, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const long long n = readFullyAt(static_cast<FdContext*>(ctx)->fd, offset, std::span(out, size));
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

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
                       tr("not a valid LZH archive") + ": \"" + t.display + "\" (" + e.what() + ")");
  }
}

TempFile::TempFile(const ArchiveTarget& t) : display_(t.display) {
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

TempFile::~TempFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(path_.c_str());
}

void TempFile::commit(const ArchiveTarget& target) {
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

void copyMember(int from, const MemberInfo& m, OutputFile& out, const std::string& archive) {
  std::uint64_t offset = m.headerOffset;
  const std::uint64_t end = m.endOffset();
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(end - offset, 1 << 20)));
  while (offset < end) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), end - offset));
    const long long n = readFullyAt(from, offset, std::span(buf.data(), want));
    if (n <= 0)
      throw CommandError(UNLHA_ERROR_BAD_ARCHIVE, tr("cannot read the existing archive") + " \"" + archive + "\"");
    out.write(std::span(buf.data(), static_cast<std::size_t>(n)));
    offset += static_cast<std::uint64_t>(n);
  }
}

}  // namespace unlha
