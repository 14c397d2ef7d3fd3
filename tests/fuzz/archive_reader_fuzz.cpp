// The library's reading commands over an arbitrary archive file: list, test
// and extract. Whatever the archive holds, extraction writes only inside its
// destination folder, and every command ends with a result, never a crash.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fuzz/fuzz_targets.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/commands/extract_command.h"
#include "unlha32/commands/read_commands.h"

namespace vedo::fuzz {
namespace {

namespace stdfs = std::filesystem;

struct NoReport final : unlha::ProgressReport {
  void member(std::string_view) override {}
  void fraction(double) override {}
};

// One folder per process: the archive beside an empty destination folder and
// a sentinel file that no extraction may touch.
const stdfs::path& workFolder() {
  static const stdfs::path folder = [] {
    stdfs::path p = stdfs::temp_directory_path() / ("vedo-fuzz-reader-" + std::to_string(::getpid()));
    stdfs::create_directories(p);
    return p;
  }();
  return folder;
}

void run(unlha::Command command, unlha::CommandResult (*operation)(const unlha::Command&, unlha::ProgressReport&)) {
  NoReport report;
  try {
    (void)operation(command, report);
  } catch (const unlha::CommandError&) {
  }
}

}  // namespace

int archiveReader(const std::uint8_t* data, std::size_t size) {
  const stdfs::path folder = workFolder();
  const stdfs::path dest = folder / "dest";
  stdfs::remove_all(dest);
  stdfs::create_directories(dest);
  std::ofstream(folder / "sentinel", std::ios::binary | std::ios::trunc) << "keep";
  std::ofstream(folder / "in.lzh", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  unlha::Command command;
  command.archive = (folder / "in.lzh").string();
  command.noProgress = true;
  command.kind = unlha::CommandKind::List;
  run(command, unlha::runList);
  command.kind = unlha::CommandKind::Test;
  run(command, unlha::runTest);
  command.kind = unlha::CommandKind::Extract;
  command.destination = dest.string() + "/";
  run(command, unlha::runExtract);

  // Nothing but the archive, the sentinel and the destination folder beside it.
  std::size_t entries = 0;
  for (const auto& e : stdfs::directory_iterator(folder)) {
    const auto name = e.path().filename();
    check(name == "in.lzh" || name == "sentinel" || name == "dest", "extraction stays in its folder");
    ++entries;
  }
  check(entries == 3, "the archive and the sentinel stay");
  std::ifstream sentinel(folder / "sentinel");
  std::string text;
  sentinel >> text;
  check(text == "keep", "the sentinel is untouched");
  stdfs::remove_all(dest);
  return 0;
}

}  // namespace vedo::fuzz
