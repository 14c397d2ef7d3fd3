#pragma once
// Another program working on the tool's files, at the exact moment that
// matters: through the guarded removal's hook, so a race runs the same way
// every time.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/guarded_removal.h"

namespace vedo::test {

using fs::testing::RemovalStep;

// Runs `act` once, at `step` of the guarded removal of the file named `name`
// (its name part), with the file's path. Uninstalls itself when it goes.
class OtherProgram {
 public:
  OtherProgram(RemovalStep step, std::string name, std::function<void(const std::filesystem::path&)> act) {
    fs::testing::setRemovalHook([step, name = std::move(name), act = std::move(act),
                                 done = false](RemovalStep now, const std::string& path) mutable {
      const std::filesystem::path file(path);
      if (done || now != step || file.filename() != name) return;
      done = true;
      act(file);
    });
  }
  ~OtherProgram() { fs::testing::setRemovalHook(nullptr); }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;
};

// An editor's save: the new version written beside the file, renamed over it.
inline void saveByRename(const std::filesystem::path& file, const std::string& bytes) {
  const std::filesystem::path beside = file.string() + ".new";
  std::ofstream(beside, std::ios::binary) << bytes;
  std::filesystem::rename(beside, file);
}

// Overwrites the file's bytes in place (same size or not) and puts its
// modification time back, as touch -r, cp -p or rsync -t --inplace do.
inline void rewriteKeepingTime(const std::filesystem::path& file, const std::string& bytes) {
  struct stat before;
  if (::stat(file.c_str(), &before) != 0) throw std::runtime_error("no file to rewrite");
  std::ofstream(file, std::ios::binary | std::ios::in | std::ios::out) << bytes;
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

// The file a guarded removal has moved aside in `folder` (while at
// RemovalStep::MovedAside there is exactly one).
inline std::filesystem::path movedAside(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder))
    if (entry.path().filename().string().starts_with("vedo-kept-")) return entry.path();
  throw std::runtime_error("nothing moved aside");
}

}  // namespace vedo::test
