#include "unlha32/archive/source_scan.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "platform/sjis_text.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

using vedo::fs::FoundFile;

bool isFolder(const FoundFile& f) { return (f.attributes & vedo::fs::Directory) != 0; }

// Every match is read, and later the caller may delete what it matched: a
// listing that could not be completed fails the command instead of storing
// fewer files than the pattern names.
std::vector<FoundFile> sortedMatches(const std::string& pattern) {
  int error = 0;
  std::vector<FoundFile> found = vedo::fs::findFiles(pattern, vedo::fs::AnyFile, error);
  if (error != 0)
    throw CommandError(UNLHA_ERROR_READ, tr("cannot list every file matching") + " \"" + pattern + "\": " +
                                             systemMessage(error));
  std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
  return found;
}

class Collector {
 public:
  Collector(bool recurse, const std::optional<vedo::fs::FileIdentity>& exclude)
      : recurse_(recurse), exclude_(exclude) {}

  std::size_t addSource(const std::string& source) {
    const std::size_t before = added_;
    const std::string folder = vedo::sjis::folderPart(source);
    const std::string pattern = vedo::sjis::namePart(source);
    if (!pattern.empty()) {
      if (recurse_) {
        visited_.clear();
        if (auto top = vedo::fs::identityOf(folder.empty() ? "." : folder))
          visited_.insert({top->device, top->inode});
        scanFolder(folder, "", pattern);
      } else {
        for (const FoundFile& f : sortedMatches(source))
          if (!isFolder(f)) addFile(folder + f.name, f.name, f);
      }
    }
    return added_ - before;
  }

  std::vector<SourceFile> take() {
    std::vector<SourceFile> out;
    out.reserve(files_.size());
    for (auto& f : files_)
      if (f) out.push_back(std::move(*f));
    return out;
  }

 private:
  void addFile(const std::string& path, const std::string& stored, const FoundFile& f) {
    if (exclude_ && exclude_->sameFileAs(f.identity)) return;
    ++added_;
    auto [it, fresh] = byName_.try_emplace(stored, files_.size());
    if (!fresh) files_[it->second].reset();  // a later file of the same name replaces it
    it->second = files_.size();
    files_.push_back(SourceFile{path, stored, f.identity});
  }

  // Guards against a folder reached again through a symbolic link.
  bool enter(const FoundFile& dir) {
    return visited_.insert({dir.identity.device, dir.identity.inode}).second;
  }

  void addTree(const std::string& folder, const std::string& stored) {
    for (const FoundFile& f : sortedMatches(folder + "*")) {
      if (!isFolder(f)) {
        addFile(folder + f.name, stored + f.name, f);
      } else if (enter(f)) {
        addTree(folder + f.name + "/", stored + f.name + "/");
      }
    }
  }

  void scanFolder(const std::string& folder, const std::string& stored, const std::string& pattern) {
    std::set<std::string> taken;
    for (const FoundFile& f : sortedMatches(folder + pattern)) {
      if (!isFolder(f)) {
        addFile(folder + f.name, stored + f.name, f);
      } else if (enter(f)) {
        taken.insert(f.name);
        addTree(folder + f.name + "/", stored + f.name + "/");
      }
    }
    for (const FoundFile& f : sortedMatches(folder + "*")) {
      if (isFolder(f) && !taken.count(f.name) && enter(f))
        scanFolder(folder + f.name + "/", stored + f.name + "/", pattern);
    }
  }

  bool recurse_;
  std::optional<vedo::fs::FileIdentity> exclude_;
  std::vector<std::optional<SourceFile>> files_;
  std::map<std::string, std::size_t> byName_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> visited_;
  std::size_t added_ = 0;
};

}  // namespace

std::vector<SourceFile> collectSources(const std::vector<std::string>& sources, bool recurse,
                                       const std::optional<vedo::fs::FileIdentity>& exclude) {
  Collector collector(recurse, exclude);
  for (const std::string& source : sources) {
    if (collector.addSource(source) == 0)
      throw CommandError(UNLHA_ERROR_NO_MATCH, tr("no file matches") + " \"" + source + "\"");
  }
  return collector.take();
}

}  // namespace unlha
