#include "engine/derive_archive_name.h"

#include "platform/sjis_text.h"

namespace vedo {

std::string DeriveArchiveName(std::string_view source) {
  std::string name(source);
  // Only the name part has an extension: a dot in a folder name (a dotted
  // project folder, ~/.config) never cuts the path.
  const std::size_t sep = sjis::lastSeparator(name);
  const std::size_t nameStart = sep == sjis::npos ? 0 : sep + 1;
  // A pattern whose first "*" comes before its name's first "." names many
  // files: the archive is called ALLFILE in the pattern's folder. Without a "."
  // the pattern stays (the wildcard check of the compress entry rejects it
  // later).
  const std::size_t star = sjis::findChar(name, '*');
  if (star != sjis::npos) {
    const std::size_t dot = sjis::findChar(name, '.', nameStart);
    if (dot != sjis::npos && dot > star) name = sjis::folderPart(name) + "ALLFILE";
  }
  // The name's first "." starts the extension.
  const std::size_t dot = sjis::findChar(name, '.', nameStart);
  if (dot != sjis::npos) sjis::removeBytes(name, dot, 255);
  return name + ".LZH";
}

}  // namespace vedo
