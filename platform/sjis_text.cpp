#include "platform/sjis_text.h"

#include <algorithm>

namespace vedo::sjis {

std::size_t findChar(std::string_view s, char c, std::size_t from) {
  for (std::size_t i = from; i < s.size(); i += charLength(s, i)) {
    if (s[i] == c && charLength(s, i) == 1) return i;
  }
  return npos;
}

bool containsChar(std::string_view s, char c) { return findChar(s, c) != npos; }

std::size_t lastSeparator(std::string_view path) {
  std::size_t last = npos;
  for (std::size_t i = 0; i < path.size(); i += charLength(path, i)) {
    if (charLength(path, i) == 1 && (path[i] == '/' || path[i] == '\\')) last = i;
  }
  return last;
}

std::string folderPart(std::string_view path) {
  std::size_t sep = lastSeparator(path);
  return sep == npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string namePart(std::string_view path) {
  std::size_t sep = lastSeparator(path);
  return std::string(sep == npos ? path : path.substr(sep + 1));
}

std::string toSystemSeparators(std::string_view path) {
  std::string out(path);
  for (std::size_t i = 0; i < out.size(); i += charLength(out, i)) {
    if (out[i] == '\\' && charLength(out, i) == 1) out[i] = '/';
  }
  return out;
}

// A byte below "!" is never the second byte of a double-byte character (trail
// bytes start at 0x40), so trimming can work on bytes alone.
static bool isBlank(char c) { return static_cast<unsigned char>(c) < 0x21; }

std::string trimLeft(std::string_view s) {
  auto it = std::find_if_not(s.begin(), s.end(), isBlank);
  return std::string(it, s.end());
}

std::string trimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && isBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string trim(std::string_view s) { return trimRight(trimLeft(s)); }

void removeBytes(std::string& s, std::size_t pos, std::size_t count) {
  if (pos >= s.size()) return;
  s.erase(pos, std::min(count, s.size() - pos));
}

void cutAtChar(std::string& s, char c, std::size_t count) {
  std::size_t at = findChar(s, c);
  if (at != npos) removeBytes(s, at, count);
}

}  // namespace vedo::sjis
