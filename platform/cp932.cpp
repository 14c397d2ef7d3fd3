#include "platform/cp932.h"

#include <iconv.h>

#include <cerrno>

namespace vedo::cp932 {
namespace {

// Converts with iconv, failing on any character the target cannot hold or any
// malformed input; iconv never substitutes unless asked to with //TRANSLIT.
std::optional<std::string> convert(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  out.resize(in.size() * 2 + 16);
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  std::size_t written = 0;
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = out.data() + written;
    std::size_t outLeft = out.size() - written;
    std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    written = out.size() - outLeft;
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      ok = false;  // EILSEQ (unmappable or malformed) or EINVAL (truncated sequence)
      break;
    }
    if (r != 0) {  // irreversible conversions count as failures
      ok = false;
      break;
    }
  }
  if (ok) {
    // Flush any shift state (none for these encodings, but be complete).
    char* outPtr = out.data() + written;
    std::size_t outLeft = out.size() - written;
    if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) ok = false;
    written = out.size() - outLeft;
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(written);
  return out;
}

}  // namespace

std::optional<std::string> fromUtf8(std::string_view utf8) {
  auto sjis = convert("CP932", "UTF-8", utf8);
  if (!sjis) return std::nullopt;
  // Several Unicode characters map onto one CP932 code (U+301C WAVE DASH and
  // U+FF5E FULLWIDTH TILDE, for one); only a text that comes back unchanged is
  // accepted, so no name ever turns into another.
  auto back = convert("UTF-8", "CP932", *sjis);
  if (!back || *back != utf8) return std::nullopt;
  return sjis;
}

std::optional<std::string> toUtf8(std::string_view sjis) {
  auto utf8 = convert("UTF-8", "CP932", sjis);
  if (!utf8) return std::nullopt;
  auto back = convert("CP932", "UTF-8", *utf8);
  if (!back || *back != sjis) return std::nullopt;
  return utf8;
}

}  // namespace vedo::cp932
