#pragma once
// Strict conversion between CP932 (Shift-JIS as the tool stores, compares and
// shows all text) and UTF-8 (the file system and Qt). A character that CP932
// cannot hold, or a conversion that does not give back the same text when run
// the other way, is an error: nothing is ever replaced by "?", which is a
// wildcard in this tool.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vedo::cp932 {

// UTF-8 -> CP932. nullopt when the input is not valid UTF-8, holds a character
// CP932 cannot hold, or does not convert back to the identical UTF-8.
std::optional<std::string> fromUtf8(std::string_view utf8);

// CP932 -> UTF-8. nullopt when the input is not valid CP932 (a lone lead byte at
// the end, a lead byte followed by a byte that is not a trail byte, an unmapped
// code) or does not convert back to the identical bytes.
std::optional<std::string> toUtf8(std::string_view sjis);

// One of the program's own texts: a UTF-8 string literal, and only a literal
// can be one.
class FixedText {
 public:
  template <std::size_t N>
  consteval FixedText(const char (&utf8)[N]) : utf8_(utf8, N - 1) {}  // NOLINT: implicit on purpose
  constexpr std::string_view utf8() const { return utf8_; }

 private:
  std::string_view utf8_;
};

// The CP932 bytes of one of the program's own texts. It does not fail: a test
// converts every string literal of the program's sources that is not plain
// ASCII (plain ASCII is the same in CP932), so a text that could not be held
// never reaches a build that passed its tests.
std::string fixed(FixedText text);
// CP932 -> the encoding of the user's locale (LC_CTYPE), for lines on standard
// error. Not strict: a character the locale cannot show, or a byte that is not
// CP932, becomes "?". A locale without an encoding of its own (C, POSIX: plain
// ASCII) gets UTF-8, as file names on this system are.
std::string toLocaleText(std::string_view sjis);

}  // namespace vedo::cp932
