#pragma once
// The application's title, which the error box of a failed handler shows:
// the program file's base name (no folder, no extension), its first letter in
// upper case and every later letter in lower case ("vedo32", "VEDO32" and
// "VEDO32.BIN" all give "Vedo32"). Only ASCII letters change case. The result
// is in the system's encoding (UTF-8), as the file name is.

#include <string>
#include <string_view>

namespace vedo {

std::string applicationTitle(std::string_view programPath);

// The title of the running program (its file as the system reports it);
// "Vedo32" when that cannot be read.
std::string applicationTitle();

}  // namespace vedo
