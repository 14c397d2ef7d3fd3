#include "settings/application_title.h"

#include <unistd.h>

namespace vedo {

std::string applicationTitle(std::string_view programPath) {
  const auto slash = programPath.rfind('/');
  std::string_view name = slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
  // The base name: without the last extension (a leading dot starts no extension).
  const auto dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);

  std::string title(name);
  for (std::size_t i = 0; i < title.size(); ++i) {
    char& c = title[i];
    if (i == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (i > 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return title;
}

std::string applicationTitle() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "Vedo32";
  std::string_view path(buffer, static_cast<std::size_t>(n));
  // The system marks a program file replaced while it runs; the name is the same.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
  return applicationTitle(path);
}

}  // namespace vedo
