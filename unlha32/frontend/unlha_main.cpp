// unlha: the library's command-line front end.
//
//   unlha a [switches] ARCHIVE SOURCE...
//   unlha l|t [switches] ARCHIVE [PATTERN...]
//   unlha e|x [switches] ARCHIVE [FOLDER/] [PATTERN...]
//   unlha d [switches] ARCHIVE PATTERN...
//   unlha --help | -h | --version
//
// Builds the command text the library takes (the command word, the switches,
// then the archive and each source in double quotes), calls Unlha, prints what
// the library wrote into its output buffer and exits with 0 on success. Names
// arrive from the system in UTF-8 and go to the library in CP932.
//
// Exit status: 0 the command did all it was asked, 1 it failed, 2 the command
// line is wrong (usage on standard error).

#include <clocale>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "unlha32/include/unlha32.h"

namespace {

// The library's output buffer, as the tool itself passes it.
constexpr std::uint32_t kOutputSize = 0xFFFF;

enum Status { kDone = 0, kFailed = 1, kWrongCommandLine = 2 };

constexpr const char* kUsageText =
    "usage: unlha a [-n] [-m0|-m5|-m6|-m7] [-r] ARCHIVE SOURCE...\n"
    "       unlha l|t [-n] ARCHIVE [PATTERN...]       list / test members\n"
    "       unlha e|x [-n] [-o] ARCHIVE [FOLDER/] [PATTERN...]\n"
    "                 extract by name / with folders; -o replaces existing files\n"
    "       unlha d [-n] ARCHIVE PATTERN...           delete members\n"
    "       unlha --help | --version\n"
    "exit status: 0 done, 1 the command failed, 2 the command line is wrong\n";

int usageError(const char* problem) {
  std::fprintf(stderr, "unlha: %s\n%s", problem, kUsageText);
  return kWrongCommandLine;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");  // the library's messages follow the user's language
  if (argc < 2) return usageError("no command given");
  const std::string first = argv[1];
  if (first == "--help" || first == "-h") {
    std::fputs(kUsageText, stdout);
    return kDone;
  }
  if (first == "--version") {
    const int version = UnlhaGetVersion() & 0xFFFF;
    std::printf("unlha (libunlha32) %d.%02d\n", version / 100, version % 100);
    return kDone;
  }
  if (first.size() != 1 || std::string_view("altexd").find(first[0]) == std::string_view::npos)
    return usageError(("unknown command: " + first).c_str());
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
      return kWrongCommandLine;
    }
    if (sjis->find('"') != std::string::npos) {
      std::fprintf(stderr, "unlha: a name cannot contain a double quote: %s\n", arg.c_str());
      return kWrongCommandLine;
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
  if (result == 0) return kDone;
  // A malformed command text or an unknown switch is a wrong command line.
  return result == UNLHA_ERROR_COMMAND ? kWrongCommandLine : kFailed;
}
