#pragma once
// Byte-string helpers that are character-wise in CP932. Positions are 0-based
// byte offsets. A lead byte (0x81-0x9F, 0xE0-0xFC) followed by a trail byte
// (0x40-0x7E, 0x80-0xFC) forms one double-byte character, so its second byte
// never matches a search for "\", "{", ";" and the like.
//
// Malformed input has one rule everywhere: a lead byte that is the last byte of
// the string, or that is followed by a byte that is not a trail byte, is a
// single-byte character of its own.

#include <cstddef>
#include <string>
#include <string_view>

namespace vedo::sjis {

inline constexpr std::size_t npos = std::string_view::npos;

// Inline: every character-wise loop below asks these once or twice a byte.
inline bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
inline bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// Length in bytes (1 or 2) of the character that starts at pos.
inline std::size_t charLength(std::string_view s, std::size_t pos) {
  if (pos + 1 < s.size() && isLeadByte(static_cast<unsigned char>(s[pos])) &&
      isTrailByte(static_cast<unsigned char>(s[pos + 1])))
    return 2;
  return 1;
}

// First position at or after `from` (which must start a character) where the
// single-byte character c stands as a character of its own; npos if none.
std::size_t findChar(std::string_view s, char c, std::size_t from = 0);
bool containsChar(std::string_view s, char c);

// Separators are "/" and "\" (as characters of their own).
std::size_t lastSeparator(std::string_view path);  // npos if none
// Everything up to and including the last separator; empty if there is none.
std::string folderPart(std::string_view path);
// Everything after the last separator.
std::string namePart(std::string_view path);
// Each "\" character becomes "/", for paths handed to the system.
std::string toSystemSeparators(std::string_view path);

// Removes bytes below "!" (0x21) from the start and from the end.
std::string trimLeft(std::string_view s);
std::string trimRight(std::string_view s);
std::string trim(std::string_view s);

// Removes up to `count` bytes starting at byte `pos` (nothing when pos is past
// the end); the bytes after them stay.
void removeBytes(std::string& s, std::size_t pos, std::size_t count);

// Cuts s at the first occurrence of the character c: removes up to `count`
// bytes from there (the ";" and "{" cuts remove at most 255). No-op without c.
void cutAtChar(std::string& s, char c, std::size_t count);

}  // namespace vedo::sjis
