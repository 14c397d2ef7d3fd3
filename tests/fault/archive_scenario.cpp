#include "tests/fault/archive_scenario.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace vedo::fault {
namespace {

std::string textOf(std::size_t lines, unsigned seed) {
  std::mt19937 random(seed);
  std::string s;
  for (std::size_t i = 0; i < lines; ++i) s += "line " + std::to_string(i) + " " + std::to_string(random() % 1000) + "\n";
  return s;
}

std::string noiseOf(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

}  // namespace

ArchiveScenario::ArchiveScenario(const stdfs::path& folder, std::vector<std::string> sourceNames,
                                 const stdfs::path& archiveFolder)
    : folder_(folder), archiveFolder_(archiveFolder.empty() ? folder : archiveFolder), sources_(std::move(sourceNames)) {
  writeBytes(folder_ / "old1.bin", noiseOf(20000, 1));
  writeBytes(folder_ / "old2.txt", textOf(2000, 2));
  for (const char* name : {"old1.bin", "old2.txt"}) {
    if (!run({unlhaProgram().string(), "a", "-n", archive().string(), (folder_ / name).string()}).succeeded())
      throw std::runtime_error("cannot build the old archive");
  }
  stdfs::remove(folder_ / "old1.bin");
  stdfs::remove(folder_ / "old2.txt");
  oldBytes_ = readBytes(archive());
  oldMembers_ = memberNames(archive()).value_or(std::vector<std::string>{});
  for (std::size_t i = 0; i < sources_.size(); ++i) contents_.push_back(textOf(6000 + 3000 * i, 10 + static_cast<unsigned>(i)));
  reset();
}

void ArchiveScenario::reset() const {
  for (const stdfs::path& f : {folder_, archiveFolder_})
    for (const std::string& name : folderEntries(f)) stdfs::remove_all(f / name);
  writeBytes(archive(), oldBytes_);
  for (std::size_t i = 0; i < sources_.size(); ++i) writeBytes(folder_ / sources_[i], contents_[i]);
}

ArchiveScenario::Outcome ArchiveScenario::check(bool sourcesMayGo, bool tempsAllowed) const {
  Outcome o;
  std::vector<std::string> expected = {"old.lzh"};
  if (!stdfs::exists(archive())) {
    o.fault = "the archive is gone";
    return o;
  }
  const std::string now = readBytes(archive());
  std::vector<std::string> held;
  if (now != oldBytes_) {
    o.changed = true;
    const auto members = memberNames(archive());
    if (!members || !independentReaderAccepts(archive())) {
      o.fault = "the archive was replaced by one that does not verify";
      return o;
    }
    for (const std::string& m : oldMembers_)
      if (std::find(members->begin(), members->end(), m) == members->end()) {
        o.fault = "the new archive lost the old member " + m;
        return o;
      }
    for (std::size_t i = 0; i < sources_.size(); ++i) {
      if (std::find(members->begin(), members->end(), sources_[i]) == members->end()) continue;
      const auto bytes = extractMember(archive(), sources_[i], archiveFolder_.parent_path() / (archiveFolder_.filename().string() + ".x"));
      stdfs::remove_all(archiveFolder_.parent_path() / (archiveFolder_.filename().string() + ".x"));
      if (bytes != contents_[i]) {
        o.fault = "the new archive holds " + sources_[i] + " with other bytes";
        return o;
      }
      held.push_back(sources_[i]);
    }
    if (!sourcesMayGo && held.size() != sources_.size()) {
      o.fault = "the new archive does not hold every source";
      return o;
    }
  }
  for (std::size_t i = 0; i < sources_.size(); ++i) {
    const stdfs::path p = folder_ / sources_[i];
    const bool isHeld = std::find(held.begin(), held.end(), sources_[i]) != held.end();
    if (!stdfs::exists(p)) {
      if (!sourcesMayGo || !isHeld) {
        o.fault = "source " + sources_[i] + " was lost";
        return o;
      }
      continue;
    }
    if (readBytes(p) != contents_[i]) {
      o.fault = "source " + sources_[i] + " was changed";
      return o;
    }
  }
  for (const stdfs::path& f : {folder_, archiveFolder_}) {
    for (const std::string& name : folderEntries(f)) {
      if (name == "old.lzh" && f == archiveFolder_) continue;
      if (std::find(sources_.begin(), sources_.end(), name) != sources_.end() && f == folder_) continue;
      if (isLibraryTempName(name, "old.lzh") && f == archiveFolder_) {
        ++o.leftovers;
        if (!tempsAllowed) o.fault = "temporary file left behind: " + name;
        continue;
      }
      o.fault = "unexpected file in the folder: " + name;
    }
  }
  return o;
}

}  // namespace vedo::fault
