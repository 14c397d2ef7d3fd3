#include "unlha32/archive/archive_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/replace_file.h"
#include "platform/sjis_text.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/include/unlha32.h"

namespace unlha {

void writeError(const std::string& what, const std::string& name, int err) {
  throw CommandError(UNLHA_ERROR_WRITE, tr(what.c_str()) + " \"" + name + "\": " + systemMessage(err));
}

namespace {

// Reads whether the archive exists and its status; refuses what cannot be
// rewritten.
void refreshStatus(ArchiveTarget& t) {
  t.exists = ::stat(t.systemPath.c_str(), &t.status) == 0;
  if (!t.exists) {
    if (errno != ENOENT) writeError("cannot reach", t.display, errno);
    return;
  }
  if (!S_ISREG(t.status.st_mode)) writeError("not a file:", t.display, EISDIR);
  if ((t.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    throw CommandError(UNLHA_ERROR_WRITE, tr("the archive is read-only") + ": \"" + t.display + "\"");
}

// A file system that cannot lock a folder (NFS emulates flock with byte-range
// locks, which a folder cannot take): the command goes on unlocked, and the
// check before the rename still keeps another writer's archive.
bool locksUnsupported(int error) { return error == EBADF || error == ENOLCK || error == EOPNOTSUPP || error == EINVAL; }

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Same file with the same size and times: nothing has written it.
bool unchanged(const struct stat& a, const struct stat& b) {
  return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

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
  refreshStatus(t);
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

ArchiveLock::ArchiveLock(ArchiveTarget& target, ProgressReport& report)
    : folder_(::open(target.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (!folder_) writeError("cannot open the folder of", target.display, errno);
  if (::flock(folder_.get(), LOCK_EX | LOCK_NB) != 0 && !locksUnsupported(errno)) {
    if (errno != EWOULDBLOCK) writeError("cannot lock the folder of", target.display, errno);
    const std::string text =
        tr("waiting for another program to finish writing an archive in the folder of") + " \"" + target.display + "\"";
    report.member(text);
    std::fprintf(stderr, "unlha: %s\n", text.c_str());
    while (::flock(folder_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) writeError("cannot lock the folder of", target.display, errno);
    }
  }
  // What the last writer left is what this command works on.
  refreshStatus(target);
}

std::vector<MemberInfo> readExisting(const ArchiveTarget& t, vedo::UniqueFd& fd) {
  fd.reset(::open(t.systemPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) writeError("cannot open the existing archive", t.display, errno);
  struct stat opened {};
  if (::fstat(fd.get(), &opened) != 0) writeError("cannot open the existing archive", t.display, errno);
  if (!unchanged(opened, t.status))
    throw CommandError(UNLHA_ERROR_WRITE, tr("the archive changed while it was being opened") + ": \"" + t.display + "\"");
  const std::uint64_t size = static_cast<std::uint64_t>(t.status.st_size);
  FdContext ctx{fd.get()};
  try {
    std::vector<MemberInfo> members = parseArchive(readFd, &ctx, size);
    if (members.empty() && size != 1) throw ArchiveError("no member and no archive structure");
    // A self-extracting archive: rewriting it would drop its program.
    if (!members.empty() && members.front().headerOffset != 0)
      throw ArchiveError(tr("a self-extracting archive, not rewritten"));
    // The members end at an end mark (one 0x00 byte) or at the file's end.
    const std::uint64_t end = members.empty() ? 0 : members.back().endOffset();
    if (size > end + 1)
      throw CommandError(UNLHA_ERROR_BAD_ARCHIVE,
                         tr("bytes follow the end of the archive; a rewrite would drop them, so it is left as it is") +
                             ": \"" + t.display + "\" (" + std::to_string(size - end - 1) + ")");
    return members;
  } catch (const ArchiveError& e) {
    throw CommandError(UNLHA_ERROR_BAD_ARCHIVE,
                       tr("not a valid LZH archive") + ": \"" + t.display + "\" (" + e.what() + ")");
  }
}

void replaceArchive(const ArchiveTarget& target, const std::function<void(int fd)>& write) {
  const vedo::fs::ReplaceResult result = vedo::fs::replaceAtomically(
      target.systemPath,
      [&](int fd) {
        // Keep the old archive's permissions; when they cannot be set, the
        // new file's (umask) permissions are an acceptable outcome.
        if (target.exists) (void)::fchmod(fd, target.status.st_mode & 07777);
        write(fd);
        return 0;
      },
      [&] {
        struct stat now {};
        const bool present = ::stat(target.systemPath.c_str(), &now) == 0;
        if (present != target.exists || (present && !unchanged(now, target.status)))
          throw CommandError(UNLHA_ERROR_WRITE,
                             tr("another program changed the archive while this command rewrote it; that file is "
                                "left as it is and nothing was written") +
                                 ": \"" + target.display + "\"");
        return 0;
      });
  // A folder that cannot be synced once the archive is in place (a file
  // system without directory fsync) is not worth failing the command for.
  if (!result.replaced) writeError("cannot replace", target.display, result.error);
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
