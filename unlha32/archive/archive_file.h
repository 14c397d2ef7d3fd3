#pragma once
// The archive file on disk, shared by every command that reads or rewrites
// one: where it is, the lock of its one writer, its members, its replacement
// by a complete new file, and member copying.

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/unique_fd.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/output_file.h"
#include "unlha32/archive/progress_report.h"

namespace unlha {

// The archive's file on disk: where it is, and what it holds now.
struct ArchiveTarget {
  std::string display;      // as the command named it (CP932)
  std::string systemPath;   // symbolic links resolved, so the rename replaces the file itself
  std::string folder;       // system path of its folder
  std::string baseName;     // system name within the folder
  bool exists = false;
  struct stat status {};
};

// Throws CommandError(UNLHA_ERROR_WRITE) naming the archive and the errno text.
// `what` is a message of the library (messages.h), translated here.
[[noreturn]] void writeError(const std::string& what, const std::string& name, int err);

// Finds the archive file a command that rewrites it names (CP932). Throws
// CommandError for a wildcard in the name, a name CP932 cannot hold, a path
// that is not a file, or a file without any write bit (read-only to us, as a
// read-only source is, for root too).
ArchiveTarget locateArchive(const std::string& archive);

// The right to rewrite the archives of one folder: an exclusive lock on the
// folder itself, which, unlike the archive file, survives the rename that
// replaces the archive, and needs no file of its own. Every command that
// replaces an archive holds it from reading the old archive to the rename,
// so a second writer waits and then works on the first one's result. A
// waiter says so at once through `report` and on standard error. Taking it
// reads the archive's state afresh into `target`. Released when it goes. On a
// file system that cannot lock a folder the command runs unlocked.
class ArchiveLock {
 public:
  ArchiveLock(ArchiveTarget& target, ProgressReport& report);

 private:
  vedo::UniqueFd folder_;
};

// The parser's reader over a file descriptor.
struct FdContext {
  int fd;
};
std::size_t readFd(void* ctx, std::uint64_t offset, std::uint8_t* out, std::size_t size);

// Opens the existing archive into `fd` and parses its members, for a command
// that rewrites it. A file of one 0x00 byte is an empty archive; an empty
// file, or one that is a bare end mark followed by more bytes, is not an
// archive at all; bytes after the end mark (two archives joined, any trailing
// data) would be lost by a rewrite, so they are refused too. Throws
// CommandError (UNLHA_ERROR_BAD_ARCHIVE, or UNLHA_ERROR_WRITE when it cannot
// be opened or is not the file `t` describes).
std::vector<MemberInfo> readExisting(const ArchiveTarget& t, vedo::UniqueFd& fd);

// Writes a new archive through `write` (given the new file's descriptor, open
// for reading and writing) and puts it in the place of `target`'s archive
// through replaceAtomically: a failure or a kill leaves the old archive and
// no other file. The new archive keeps the old one's permissions. Right
// before the rename the path must still name the archive as it was read
// (device, inode, size, mtime, ctime), or nothing when there was none: a
// program that takes no lock may have changed it meanwhile, and its file is
// then left as it is (CommandError UNLHA_ERROR_WRITE). Exceptions from
// `write` pass through, the old archive untouched.
void replaceArchive(const ArchiveTarget& target, const std::function<void(int fd)>& write);

// Copies member `m` (header and data) of the archive open as `from` to `out`.
void copyMember(int from, const MemberInfo& m, OutputFile& out, const std::string& archive);

}  // namespace unlha
