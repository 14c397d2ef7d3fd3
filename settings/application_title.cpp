#include "application_title.h"

#include <unistd.h>

namespace vedo {

std::string applicationTitle(std::string_view programPath) {
  const auto slash = programPath.rfind('/');
  std::string title(slash == std::string_view::npos ? programPath : programPath.substr(slash + 1));
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
  return applicationTitle(std::string_view(buffer, static_cast<std::size_t>(n)));
}

}  // namespace vedo
