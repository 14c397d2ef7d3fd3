#pragma once
// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes. Optionally made the current folder for its life.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/cp932.h"

namespace vedo::test {

class TempFolder {
 public:
  explicit TempFolder(bool makeCurrent = false) {
    std::string templ = (std::filesystem::temp_directory_path() / "vedo-test-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
    if (makeCurrent) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~TempFolder() {
    std::error_code ec;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ec);
    // Read-only files and folders must not keep the tree alive.
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder (or a path inside it) as a UTF-8 string.
  std::string str(std::string_view rel = {}) const {
    return rel.empty() ? path_.string() : (path_ / std::filesystem::path(std::string(rel))).string();
  }
  // The same as CP932, as the engine and the library take paths.
  std::string sjis(std::string_view rel = {}) const { return *cp932::fromUtf8(str(rel)); }

  // Writes a file (name relative to the folder, UTF-8) with the given bytes.
  std::filesystem::path write(std::string_view rel, std::string_view bytes) const {
    auto p = path_ / std::filesystem::path(std::string(rel));
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
  }
  std::string read(std::string_view rel) const {
    std::ifstream in(path_ / std::filesystem::path(std::string(rel)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// A UTF-8 literal as CP932 bytes (fails the test program loudly if it cannot be).
inline std::string sj(std::string_view utf8) {
  auto s = cp932::fromUtf8(utf8);
  if (!s) throw std::runtime_error("text not representable in CP932");
  return *s;
}

}  // namespace vedo::test
