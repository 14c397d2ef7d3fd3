#pragma once
// Helpers shared by the library's tests: running the library and outside
// programs, and reading folder trees back.

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "unlha32/include/unlha32.h"

namespace unlha::test {

// Completes a level-0 or level-1 header built byte by byte in `h` (size and
// checksum bytes first): sets its size byte and its byte-sum checksum.
inline void sealOldHeader(std::vector<std::uint8_t>& h) {
  h[0] = static_cast<std::uint8_t>(h.size() - 2);
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum = static_cast<std::uint8_t>(sum + h[i]);
  h[1] = sum;
}

struct Outcome {
  int code = 0;
  std::string output;
};

// Calls Unlha with a command given in UTF-8 (converted to CP932 here).
inline Outcome unlha(const std::string& utf8Command) {
  std::vector<char> out(0x10000, '\x7F');
  Outcome r;
  r.code = Unlha(nullptr, vedo::cp932::fromUtf8(utf8Command).value().c_str(), out.data(), 0xFFFE);
  r.output = out.data();
  return r;
}

// Runs a shell command; returns its exit status and standard output.
inline Outcome shell(const std::string& command) {
  Outcome r;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return {-1, {}};
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TreeFile {
  std::string bytes;
  std::int64_t mtime = 0;
  bool operator==(const TreeFile&) const = default;
};

// Every regular file under `root`, by relative path. Names on disk are taken
// as UTF-8 when they are, else as CP932 (a reader that writes the stored bytes
// as they are) and converted.
inline std::map<std::string, TreeFile> readTree(const std::filesystem::path& root) {
  std::map<std::string, TreeFile> tree;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::string rel = std::filesystem::relative(e.path(), root).string();
    if (!vedo::cp932::fromUtf8(rel)) rel = vedo::cp932::toUtf8(rel).value_or(rel);
    struct stat st {};
    ::stat(e.path().c_str(), &st);
    tree[rel] = TreeFile{readFile(e.path()), static_cast<std::int64_t>(st.st_mtime)};
  }
  return tree;
}

// The 7-Zip command of this system: "7z" where installed, else "7zz".
inline std::string sevenZip() {
  return shell("command -v 7z >/dev/null 2>&1").code == 0 ? "7z" : "7zz";
}

}  // namespace unlha::test

#include <fcntl.h>
#include <unistd.h>

#include "unlha32/archive/lzh_header.h"

namespace unlha::test {

// The members of an archive file, through the library's own strict parser.
inline std::vector<MemberInfo> readMembers(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st {};
  ::fstat(fd, &st);
  auto read = [](void* ctx, std::uint64_t offset, std::uint8_t* out, std::size_t size) -> std::size_t {
    const ssize_t n = ::pread(*static_cast<int*>(ctx), out, size, static_cast<off_t>(offset));
    return n < 0 ? 0 : static_cast<std::size_t>(n);
  };
  int ctx = fd;
  std::vector<MemberInfo> members;
  try {
    members = parseArchive(read, &ctx, static_cast<std::uint64_t>(st.st_size));
  } catch (const ArchiveError&) {
  }
  ::close(fd);
  return members;
}

}  // namespace unlha::test
