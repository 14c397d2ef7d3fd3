#include "engine/derive_archive_name.h"

#include "platform/sjis_text.h"

namespace vedo {

std::string DeriveArchiveName(std::string_view source) {
  std::string name(source);
  // A pattern whose first "*" comes before its first "." names many files: the
  // archive is called ALLFILE in the pattern's folder. Without a "." the
  // difference is negative and the pattern stays (the wildcard check of the
  // compress entry rejects it later).
  const std::size_t star = sjis::findChar(name, '*');
  if (star != sjis::npos) {
    const std::size_t dot = sjis::findChar(name, '.');
    if (dot != sjis::npos && dot > star) name = sjis::folderPart(name) + "ALLFILE";
  }
  // The first "." starts the extension, even when it lies in a folder name.
  const std::size_t dot = sjis::findChar(name, '.');
  if (dot != sjis::npos) sjis::removeBytes(name, dot, 255);
  return name + ".LZH";
}

}  // namespace vedo
