#include "unlha32/archive/messages.h"

#include <dlfcn.h>
#include <libintl.h>
#include <unistd.h>

#include <mutex>

namespace unlha {
namespace {

constexpr const char* kDomain = "unlha32";

// The folder that holds this code's file (the library, or a program that
// links the layers statically).
std::string codeFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&codeFolder), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void bindCatalogs() {
  const std::string folder = codeFolder();
  for (const char* relative : {"/../share/locale", "/../../share/locale"}) {
    const std::string candidate = folder + relative;
    if (::access(candidate.c_str(), R_OK | X_OK) == 0) {
      ::bindtextdomain(kDomain, candidate.c_str());
      break;
    }
  }
  ::bind_textdomain_codeset(kDomain, "CP932");
}

}  // namespace

std::string tr(const char* english) {
  static std::once_flag bound;
  std::call_once(bound, bindCatalogs);
  return ::dgettext(kDomain, english);
}

}  // namespace unlha
