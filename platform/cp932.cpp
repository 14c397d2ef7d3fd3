#include "platform/cp932.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

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

// CP932 holds the 128 ASCII codes as themselves (0x5C is the backslash and
// 0x7E the tilde, unlike older Shift_JIS tables), and so does UTF-8: a text of
// ASCII alone is the same in both, and most file names are. Opening two
// converters per name was most of the time a folder scan took.
bool isAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::optional<std::string> fromUtf8(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
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
  if (isAscii(sjis)) return std::string(sjis);
  auto utf8 = convert("UTF-8", "CP932", sjis);
  if (!utf8) return std::nullopt;
  auto back = convert("CP932", "UTF-8", *utf8);
  if (!back || *back != sjis) return std::nullopt;
  return utf8;
}

std::string fixed(FixedText text) {
  if (std::optional<std::string> bytes = fromUtf8(text.utf8())) return std::move(*bytes);
  // Not reached: the program's texts are all converted by a test.
  std::terminate();
}

std::string toLocaleText(std::string_view sjis) {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0) codeset = "UTF-8";
  const std::string to = std::string(codeset) + "//TRANSLIT";
  iconv_t cd = iconv_open(to.c_str(), "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(sjis);
  std::string out;
  char buffer[256];
  char* inPtr = const_cast<char*>(sjis.data());
  std::size_t inLeft = sjis.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A byte that starts no CP932 character: shown as "?", the rest goes on.
      out += '?';
      ++inPtr;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace vedo::cp932
