#pragma once
// Helpers shared by the test programs: CP932 literals written in UTF-8, real
// temporary folders, and small file utilities.

#include <filesystem>
#include <string>
#include <string_view>

namespace vedo::test {

// UTF-8 -> CP932 and back through the system's converter, independently of the
// code under test. Throws when the text cannot be converted.
std::string sjis(std::string_view utf8);
std::string utf8(std::string_view cp932);

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder's path as text, with a trailing "/".
  std::string slash() const { return path_.string() + "/"; }
  // Writes `content` to the file `name` inside the folder; returns its path.
  std::filesystem::path write(const std::string& name, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// Makes `folder` the current folder and restores the previous one on exit.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::filesystem::path& folder);
  ~CurrentFolder();
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

std::string readFile(const std::filesystem::path& file);
void makeReadOnly(const std::filesystem::path& file);

}  // namespace vedo::test
