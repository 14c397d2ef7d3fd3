#pragma once
// File services for the engine and the archiver library. Every path is CP932
// (std::string) with "/" or "\" as separators; conversion to the system's UTF-8
// names happens here and nowhere else. No function throws for an ordinary
// failure: each returns a result or an errno-style code (0 for success).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct stat;

namespace vedo::fs {

// Attribute bits of a found file, with the values the tool's masks use.
enum Attribute : std::uint32_t {
  ReadOnly = 0x01,   // no write bit set in the mode (a mode test, so it holds for root too)
  Hidden = 0x02,     // the name begins with "."
  System = 0x04,     // never set on this platform
  Volume = 0x08,     // never set on this platform
  Directory = 0x10,
  Archive = 0x20,    // every non-directory
  AnyFile = 0x3F,
};

// What identifies a file's content as unchanged: same file, same size, same
// times. The change time (ctime) catches a rewrite whose modification time was
// put back (touch -r, cp -p): no program can set it back.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t ctimeNs = 0;
  bool sameFileAs(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
  bool operator==(const FileIdentity&) const = default;
};

struct FoundFile {
  std::string name;          // name part only, CP932
  std::uint32_t attributes;  // Attribute bits
  FileIdentity identity;     // of the file itself (symbolic links followed)
};

// CP932 path -> system path (UTF-8, every "\" character turned into "/").
// nullopt when the text is not valid CP932.
std::optional<std::string> toSystemPath(std::string_view path);

// Wildcard search. "*" and "?" are wildcards in the name part only; "*" is any
// run of characters, "?" exactly one (a double-byte character is one); "*.*"
// matches every name. Byte-exact and case-sensitive. "." and ".." are never
// returned, nor any name CP932 cannot hold or holding a "\\" (which the
// tool's paths read as a separator, so it could never name that file). Hidden and directory entries are
// returned only when their bit is in `mask`, as the tool's search does; plain
// files always. Order: the order in which the system lists the folder.
std::vector<FoundFile> findFiles(std::string_view pattern, std::uint32_t mask = AnyFile);
// The same, telling whether the listing is complete: `error` becomes an errno
// value when the folder could not be read to its end or a matching name could
// not be examined (a name that vanished meanwhile is no error), else 0. A
// caller that must act on every match (the archiver) fails on a nonzero error.
std::vector<FoundFile> findFiles(std::string_view pattern, std::uint32_t mask, int& error);

// The name-part match of findFiles, for callers that filter names themselves.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// True when the search for `path` finds a first match that is not a folder.
bool fileExists(std::string_view path);

// Identity of the file at `path` (symbolic links followed); nullopt if none.
std::optional<FileIdentity> identityOf(std::string_view path);
// Identity from a status the caller already holds.
FileIdentity identityOf(const struct stat& status);

// Removes a file (never a folder). Refuses, with EACCES, a file whose read-only
// attribute is set. Returns 0 or an errno value.
int deleteFile(std::string_view path);

// Copies src onto dst, replacing dst through replaceAtomically (the copy and
// its folder are synced when this returns 0), keeping the modification time
// and permissions. Only a regular file is copied: anything else (a FIFO, a
// device, a socket) is refused without an open that could block. Copying a
// file onto itself (same device and inode) fails and changes nothing.
// `sourceRead`, when given, receives the source's identity as it was when
// the copy began. 0 or errno.
int copyFile(std::string_view src, std::string_view dst, FileIdentity* sourceRead = nullptr);

// Creates one folder level. 0 or errno.
int createFolder(std::string_view path);

// Makes `path` the process's current folder. 0 or errno.
int changeFolder(std::string_view path);

// The current folder as CP932; nullopt when it cannot be read or held in CP932.
std::optional<std::string> currentFolder();

}  // namespace vedo::fs
