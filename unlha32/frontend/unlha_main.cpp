// unlha: the library's command-line front end.
//
//   unlha a [switches] ARCHIVE SOURCE...
//   unlha l|t [switches] ARCHIVE [PATTERN...]
//   unlha e|x [switches] ARCHIVE [FOLDER/] [PATTERN...]
//   unlha d [switches] ARCHIVE PATTERN...
//
// Builds the command text the library takes (the command word, the switches,
// then the archive and each source in double quotes), calls Unlha, prints what
// the library wrote into its output buffer and exits with 0 on success. Names
// arrive from the system in UTF-8 and go to the library in CP932.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "unlha32/include/unlha32.h"

namespace {

// The library's output buffer, as the tool itself passes it.
constexpr std::uint32_t kOutputSize = 0xFFFF;

int usage() {
  std::fputs(
      "usage: unlha a [-n] [-m0|-m5|-m6|-m7] [-r] ARCHIVE SOURCE...\n"
      "       unlha l|t [-n] ARCHIVE [PATTERN...]       list / test members\n"
      "       unlha e|x [-n] [-o] ARCHIVE [FOLDER/] [PATTERN...]\n"
      "                 extract by name / with folders; -o replaces existing files\n"
      "       unlha d [-n] ARCHIVE PATTERN...           delete members\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::vector<std::string> switches;
  std::vector<std::string> names;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (names.empty() && arg.size() > 1 && arg[0] == '-') {
      switches.push_back(arg);
      continue;
    }
    const std::optional<std::string> sjis = vedo::cp932::fromUtf8(arg);
    if (!sjis) {
      std::fprintf(stderr, "unlha: name cannot be held in CP932: %s\n", arg.c_str());
      return 1;
    }
    if (sjis->find('"') != std::string::npos) {
      std::fprintf(stderr, "unlha: a name cannot contain a double quote: %s\n", arg.c_str());
      return 1;
    }
    names.push_back(*sjis);
  }

  std::string command = argv[1];
  for (const std::string& s : switches) command += " " + s;
  for (std::size_t i = 0; i < names.size(); ++i) command += (i == 1 ? "  \"" : " \"") + names[i] + "\"";

  std::vector<char> output(kOutputSize + 1, '\0');
  const int result = Unlha(nullptr, command.c_str(), output.data(), kOutputSize);
  const std::string text(output.data());
  const std::string shown = vedo::cp932::toUtf8(text).value_or(text);
  std::FILE* stream = result == 0 ? stdout : stderr;
  std::fputs(shown.c_str(), stream);
  if (!shown.empty() && shown.back() != '\n') std::fputc('\n', stream);
  if (result == 0) return 0;
  // Result codes are 0x8001 and up: keep them apart in the 8-bit exit status.
  const int status = result & 0xFF;
  return status == 0 ? 1 : status;
}
