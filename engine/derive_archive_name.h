#pragma once
#include <string>
#include <string_view>

namespace vedo {

// The archive name that follows a source: C:\DATA\REPORT.DOC gives
// C:\DATA\REPORT.LZH, a pattern with "*" before its first "." gives
// <folder>ALLFILE.LZH, and the first "." always starts the extension.
std::string DeriveArchiveName(std::string_view source);

}  // namespace vedo
