#pragma once
// An existing archive, sources beside it, and the check that every fault test
// applies after a run: the archive is byte for byte the old one, or a complete
// new one that an independent reader accepts and that holds every source
// byte for byte; no source is gone unless the archive holds it; nothing is
// left in the folder but temporary files of the library (when allowed).

#include <string>
#include <vector>

#include "tests/fault/fault_support.h"

namespace vedo::fault {

class ArchiveScenario {
 public:
  // Builds old.lzh (two members) in `folder` with `unlha`, and the sources
  // `sourceNames` (text that compresses well, so members differ in size).
  ArchiveScenario(const stdfs::path& folder, std::vector<std::string> sourceNames,
                  const stdfs::path& archiveFolder = {});

  const stdfs::path& folder() const { return folder_; }
  stdfs::path archive() const { return archiveFolder_ / "old.lzh"; }
  const std::string& oldBytes() const { return oldBytes_; }

  // Puts the old archive and every source back and removes anything else.
  void reset() const;

  struct Outcome {
    bool changed = false;        // a new archive is in place
    std::size_t leftovers = 0;   // library temporary files in the archive's folder
    std::string fault;           // empty when every rule holds
  };
  // `sourcesMayGo`: the program may delete sources (the engine's move);
  // `tempsAllowed`: a killed program may leave its temporary file.
  Outcome check(bool sourcesMayGo, bool tempsAllowed) const;

 private:
  stdfs::path folder_;
  stdfs::path archiveFolder_;
  std::vector<std::string> sources_;
  std::vector<std::string> contents_;
  std::string oldBytes_;
  std::vector<std::string> oldMembers_;
};

}  // namespace vedo::fault
