#pragma once
// Replacing a file so that its name always holds either the old file or the
// complete new one, never a part, and a crash leaves no stray file behind.

#include <cstddef>
#include <functional>
#include <string>

namespace vedo::fs {

// Fills the new file through `fd` (open for reading and writing, at offset 0).
// Returns 0 or an errno value.
using FileWriter = std::function<int(int fd)>;
// Runs when the new file is complete and synced, right before it takes the
// name. A nonzero result (an errno value) stops the replacement: the old file
// stays as it is and the new one is discarded.
using ReplaceCheck = std::function<int()>;

// Writes a new file for `systemPath` (a system path: UTF-8, "/" separators)
// and puts it in the path's place. The new file is made in the same folder
// without a name (O_TMPFILE), so a kill at any moment leaves nothing behind;
// where the file system cannot do that, under a short hidden temporary name
// that a failure removes. Then: the file is synced, takes the name (a link
// when the name is free, else a rename over the old file) and the folder is
// synced, so the new name is as durable as the data. A symbolic link at
// `systemPath` is replaced itself; callers that mean its target resolve it
// first. The new file gets mode 0666 under the umask; `write` may change it.
struct ReplaceResult {
  int error = 0;          // 0 when the new file and the name are durable; else an errno value
  bool replaced = false;  // the new file holds the name (true also when only the folder's sync failed)
};
// When `replaced` is false the old file is untouched. Exceptions thrown by
// `write` or `beforeRename` pass through, with the same outcome as an error.
ReplaceResult replaceAtomically(const std::string& systemPath, const FileWriter& write,
                                const ReplaceCheck& beforeRename = {});

// What becomes of a file that already holds the name.
enum class Existing { Replace, Keep };
// Whether the file and the folder are synced (Durable), or the replacement is
// only whole-or-nothing for other programs and the file is left to the
// system's own writeback, as extraction leaves its many files, as archivers
// commonly do (a sync of each made extracting 783 small files four times
// slower: 3.3 s against 0.8 s).
enum class Durability { Durable, Writeback };

// The same for `name` in the folder open as `dir`, for callers that reach
// the folder through descriptors. With Existing::Keep a name that is taken
// stays as it is and the result is EEXIST, with no window in which it could
// be replaced.
ReplaceResult replaceAtomicallyAt(int dir, const std::string& name, const FileWriter& write,
                                  const ReplaceCheck& beforeRename = {}, Existing existing = Existing::Replace,
                                  Durability durability = Durability::Durable);

// Writes all `size` bytes at the descriptor's offset, resuming after a short
// write or an interruption. 0 or an errno value.
int writeAll(int fd, const void* data, std::size_t size);

namespace testing {
// Makes replaceAtomically use a named temporary file, as on a file system
// without unnamed ones, so that way can be tested anywhere.
void forceNamedTemporary(bool on);
}  // namespace testing

}  // namespace vedo::fs
