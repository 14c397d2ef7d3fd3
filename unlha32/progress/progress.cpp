#include "unlha32/progress/progress.h"

// Without -n the work is shown in a small window, but only inside a process
// that runs Qt already: the window lives in a plugin beside this library
// (libunlha32-progress.so) that links Qt, loaded on first use. A process
// without Qt, like the unlha front end, never loads it and the call simply
// blocks; so does any call when the plugin cannot be found or loaded.

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace unlha {
namespace {

struct SilentReport final : ProgressReport {
  void member(std::string_view) override {}
  void fraction(double) override {}
};

using PluginRun = int (*)(const std::function<int(ProgressReport&)>& work);

bool qtIsLoaded() {
  void* qt = ::dlopen("libQt6Widgets.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (!qt) return false;
  ::dlclose(qt);  // only drops the reference RTLD_NOLOAD took
  return true;
}

// The plugin's path: beside the file this code was loaded from.
std::string pluginPath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&qtIsLoaded), &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  return path + "libunlha32-progress.so";
}

// Loaded once and kept for the life of the process.
PluginRun loadPlugin() {
  static PluginRun run = [] () -> PluginRun {
    void* plugin = ::dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    return plugin ? reinterpret_cast<PluginRun>(::dlsym(plugin, "unlha32_progress_run")) : nullptr;
  }();
  return run;
}

}  // namespace

int runWithProgress(bool show, const std::function<int(ProgressReport&)>& work) {
  if (show && qtIsLoaded()) {
    if (PluginRun run = loadPlugin()) return run(work);
  }
  SilentReport report;
  return work(report);
}

}  // namespace unlha
