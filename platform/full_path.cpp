#include "platform/full_path.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/sjis_text.h"

namespace vedo {

// After "\" characters became "/", a "/" byte always stands for itself: it is
// below the range of second bytes of double-byte characters (0x40 and up), so
// the segments can be split byte-wise.
std::string fullPath(std::string_view path) {
  std::string p = sjis::toSystemSeparators(path);
  if (p.empty() || p.front() != '/') {
    auto cwd = fs::currentFolder();
    if (!cwd) return p;  // a current folder CP932 cannot hold: leave the path as it is
    p = *cwd + "/" + p;
  }
  const bool trailingSeparator = p.back() == '/';

  std::vector<std::string_view> parts;
  std::string_view rest(p);
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }

  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out += part;
  }
  if (out.empty() || trailingSeparator) out += '/';
  return out;
}

}  // namespace vedo
