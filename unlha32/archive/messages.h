#pragma once
// The library's messages in the user's language. The sources hold them in
// English; gettext (text domain "unlha32") translates them by the caller's
// locale (LANGUAGE, LC_MESSAGES), so English is what a caller gets unless it
// asks for another language. The result is CP932, as every text of the
// library is. Catalogs are looked up beside the library: <libdir>/../share/locale
// (installed, and in the build tree) or <libdir>/../../share/locale (a
// multiarch libdir).

#include <string>

namespace unlha {

std::string tr(const char* english);

}  // namespace unlha
