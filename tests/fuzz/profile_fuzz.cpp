// The settings file is the one file the tool reads that anyone may have
// edited by hand. Whatever it holds, reading gives bounded values and a save
// puts back every value the tool read, so a load-save cycle never changes a
// setting the user had.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "engine/app_state.h"
#include "engine/job_fields.h"
#include "platform/profile_file.h"
#include "settings/settings.h"
#include "tests/fuzz/fuzz_targets.h"

namespace vedo::fuzz {
namespace {

// One folder per process under $TMPDIR, used as $XDG_CONFIG_HOME by every
// input and removed at exit (its name kept in static storage, which outlives
// the exit handlers).
char gFolder[4096];

void removeFolder() {
  std::remove((std::string(gFolder) + "/VEDO.INI").c_str());
  ::rmdir(gFolder);
}

const std::string& configFolder() {
  static const std::string folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    const int n = std::snprintf(gFolder, sizeof gFolder, "%s/vedo-fuzz-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof gFolder || !::mkdtemp(gFolder))
      fail("cannot create a temporary folder");
    ::setenv("XDG_CONFIG_HOME", gFolder, 1);
    std::atexit(removeFolder);
    return std::string(gFolder);
  }();
  return folder;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write the settings file");
  if (size != 0 && std::fwrite(data, 1, size, f) != size) fail("short write of the settings file");
  std::fclose(f);
}

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

void checkValue(const std::optional<std::string>& v) {
  if (!v) return;
  check(v->size() <= ProfileFile::kMaxValueBytes, "a value is at most 1,023 bytes");
  check(v->find_first_of("\n") == std::string::npos, "a value never holds a line feed");
}

// A text that a save writes and a load gives back as it is: no line break
// (the writer stops there), not enclosed in double quotes (a read takes one
// pair off), no blanks at the ends (a read takes them off).
bool survivesVerbatim(const std::string& s) {
  if (s.find_first_of("\r\n") != std::string::npos || s.find('\0') != std::string::npos) return false;
  if (!s.empty() && (isBlank(s.front()) || isBlank(s.back()))) return false;
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return false;
  return true;
}

struct Loaded {
  AppState state;
  PlainJobFields fields;
  MainWindowValues window;
};

void load(Loaded& l) {
  l.state.StartedWithArguments = false;
  l.window = LoadSettings(l.state, l.fields);
}

}  // namespace

int profileFile(const std::uint8_t* data, std::size_t size) {
  const std::string path = configFolder() + "/VEDO.INI";
  writeFile(path, data, size);

  ProfileFile ini(path);
  check(ini.load(), "a regular file always loads");
  for (const char* section : {"Options", "Files", "Message", "UNLHA", "S", ""})
    for (const char* key : {"Pos(X)", "Delete", "BatName", "T_Path", "Mode", "Option", "K", ""})
      checkValue(ini.readString(section, key));

  Loaded first;
  load(first);
  try {
    SaveSettings(first.state, first.fields, first.window.left, first.window.top);
  } catch (...) {
    fail("saving over a readable settings file is refused");
  }
  Loaded second;
  load(second);
  check(second.window.left == first.window.left && second.window.top == first.window.top,
        "window position survives a save");
  check(second.state.DeleteMode == first.state.DeleteMode, "Mode survives a save");
  check(second.state.ShowBatchProgress == first.state.ShowBatchProgress &&
            second.state.BatchConfirm == first.state.BatchConfirm &&
            second.state.UnlhaDialogs == first.state.UnlhaDialogs,
        "flags survive a save");
  check(second.fields.DeleteAfter() == first.fields.DeleteAfter() &&
            second.fields.UseBatch() == first.fields.UseBatch(),
        "check boxes survive a save");
  if (survivesVerbatim(first.state.UnlhaOption))
    check(second.state.UnlhaOption == first.state.UnlhaOption, "the archiver option survives a save");
  if (survivesVerbatim(first.fields.BatchFileName()))
    check(second.fields.BatchFileName() == first.fields.BatchFileName(), "the batch file name survives a save");
  return 0;
}

}  // namespace vedo::fuzz
