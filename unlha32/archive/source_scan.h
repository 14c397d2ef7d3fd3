#pragma once
// Finds the files a command's sources name, with the same wildcard search the
// tool uses for its delete pass, so that both agree on what a pattern matches.

#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace unlha {

struct SourceFile {
  std::string path;    // CP932 path to open (the pattern's folder part and the name)
  std::string stored;  // CP932 name in the archive, folders separated by "/"
  vedo::fs::FileIdentity identity;
};

// Every file matched by the sources, in source order and, within one folder,
// in byte order of the names. Without `recurse` a matched folder is skipped and
// a file is stored under its name alone. With `recurse` the name pattern is
// applied in every sub-folder as well, a matched folder is taken whole, and
// paths are stored relative to the pattern's folder. `exclude` (the archive
// itself) is never taken. A later file stored under a name already taken
// replaces the earlier one. Throws CommandError (UNLHA_ERROR_NO_MATCH) when a
// source matches no file.
std::vector<SourceFile> collectSources(const std::vector<std::string>& sources, bool recurse,
                                       const std::optional<vedo::fs::FileIdentity>& exclude);

}  // namespace unlha
