#pragma once
// Removing a file only when it is still the file the caller means, at the
// moment it goes. Other programs may work on the same files meanwhile: an
// editor that saves by writing beside a file and renaming over it, a program
// that writes in place and puts the modification time back, a shared memory
// mapping. None of them must lose data because the tool removed a file.

#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace vedo::fs {

// Tells whether the file open at `fd` holds the bytes the caller has elsewhere
// (an archive member, a copy). Reads from offset 0 with pread.
using ContentCheck = std::function<bool(int fd)>;

struct RemovalResult {
  int error = 0;  // 0 when removed; ESTALE when the file is not the one meant; else an errno value
  // Set when the file had to be put back but a new file had taken its name
  // meanwhile: both are kept, the old one under this path (CP932).
  std::string keptAs;
};

// Removes the file at `path` (CP932) only when it is still the one meant:
// 1. its identity (device, inode, size, mtime, ctime) equals `expected`, it
//    is a regular file and not read-only (EACCES, as deleteFile);
// 2. it is moved aside to a private name in its own folder, never replacing
//    anything there, so a new file that takes the name from now on is safe;
// 3. the private name holds that same file (device and inode through a
//    descriptor opened before the move: the move itself changes the ctime),
//    with the size and mtime expected, and `sameContent` accepts its bytes;
// 4. only then the private name is removed.
// Otherwise the file goes back under its name (never replacing a new file
// there: then both stay and `keptAs` says where the old one is).
// A null `sameContent` accepts any bytes.
RemovalResult removeGuarded(std::string_view path, const FileIdentity& expected, const ContentCheck& sameContent);

// True when the file open at `fd` and the file at `path` (CP932) hold the
// same bytes.
bool sameBytes(int fd, std::string_view path);

namespace testing {
enum class RemovalStep {
  BeforeCheck,  // the name still holds the file; nothing examined yet
  MovedAside,   // the file is under its private name; its name is free
};
// Called at each step with the system path being removed; null for none.
// Lets a test act as another program at the exact moment that matters.
void setRemovalHook(std::function<void(RemovalStep, const std::string& systemPath)> hook);
}  // namespace testing

}  // namespace vedo::fs
