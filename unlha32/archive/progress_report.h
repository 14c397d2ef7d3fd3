#pragma once
// What a running command tells whoever shows its progress.

#include <string>
#include <string_view>

namespace unlha {

// What the work tells the display. Calls come from the thread that runs the work.
struct ProgressReport {
  virtual ~ProgressReport() = default;
  // The member now being compressed or verified (CP932 stored path).
  virtual void member(std::string_view name) = 0;
  // How much of the whole command is done, from 0.0 to 1.0.
  virtual void fraction(double done) = 0;
  // True once the user asked the command to stop (the progress window's stop
  // button or its close box). The work asks at its safe points, where
  // stopping leaves everything as it was (throwIfCancelled, command_error.h).
  virtual bool cancelled() const { return false; }
};

// A member name (CP932) as shown to a person, on a terminal or in a window:
// each control character (a byte below 0x20, or 0x7F; neither is ever part of
// a CP932 double-byte character) is written visibly as \xHH, so that a name
// can neither move the cursor nor send a terminal its commands.
inline std::string shownName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out.push_back(c);
      continue;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\x";
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
  }
  return out;
}

}  // namespace unlha
