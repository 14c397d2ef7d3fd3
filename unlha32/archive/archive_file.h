#pragma once
// The archive file on disk, shared by every command that reads or rewrites
// one: where it is, its members, a temporary file beside it that replaces it
// only when complete, and member copying.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/output_file.h"

namespace unlha {

// An owned file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset(o.fd_);
      o.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }
  void reset(int fd = -1);

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

// Throws CommandError(UNLHA_ERROR_WRITE) naming the archive and the errno text.
// `what` is a message of the library (messages.h), translated here.
[[noreturn]] void writeError(const std::string& what, const std::string& name, int err);

// Finds the archive file a command names (CP932). Throws CommandError for a
// wildcard in the name, a name CP932 cannot hold, or a path that is not a file.
ArchiveTarget locateArchive(const std::string& archive);

// The parser's reader over a file descriptor.
struct FdContext {
  int fd;
};
std::size_t readFd(void* ctx, std::uint64_t offset, std::uint8_t* out, std::size_t size);

// Opens the existing archive into `fd` and parses its members. A file of one
// 0x00 byte is an empty archive; an empty file, or one that is a bare end mark
// followed by more bytes, is not an archive at all. Throws CommandError
// (UNLHA_ERROR_BAD_ARCHIVE, or UNLHA_ERROR_WRITE when it cannot be opened).
std::vector<MemberInfo> readExisting(const ArchiveTarget& t, Fd& fd);

// A temporary file in the archive's folder, removed again unless committed.
class TempFile {
 public:
  explicit TempFile(const ArchiveTarget& t);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }

  // Closes, renames over `target` and syncs the folder, so the new name is as
  // durable as the data.
  void commit(const ArchiveTarget& target);

 private:
  std::string display_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

// Copies member `m` (header and data) of the archive open as `from` to `out`.
void copyMember(int from, const MemberInfo& m, OutputFile& out, const std::string& archive);

}  // namespace unlha
