#include "tests/fault/fault_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/cp932.h"
#include "unlha32/archive/lzh_header.h"

extern char** environ;

namespace vedo::fault {
namespace {

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string key = entry.substr(0, entry.find('='));
    if (!extra.count(key)) env.push_back(entry);
  }
  for (const auto& [k, v] : extra) env.push_back(k + "=" + v);
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const RunOptions& options) {
  std::vector<std::string> args = argv;
  std::vector<std::string> env = environmentWith(options.env);
  std::vector<char*> argp = pointers(args);
  std::vector<char*> envp = pointers(env);

  // fork rather than posix_spawn: the child needs its own current folder.
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(126);
    ::execvpe(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  RunResult r;
  if (WIFEXITED(status)) {
    r.exited = true;
    r.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
  }
  return r;
}

stdfs::path buildBin() {
  const char* bin = std::getenv("VEDO_BUILD_BIN");
  return bin ? stdfs::path(bin) : stdfs::path(VEDO_DEFAULT_BUILD_BIN);
}
stdfs::path unlhaProgram() { return buildBin() / "unlha"; }
stdfs::path libraryPath() { return buildBin() / "libunlha32.so"; }
stdfs::path probeProgram(const char* name) { return stdfs::path(VEDO_FAULT_PROBE_DIR) / name; }

bool haveProgram(const char* name) {
  return run({"sh", "-c", std::string("command -v ") + name}).succeeded();
}

std::vector<std::string> traceSyscalls(const std::vector<std::string>& argv, const RunOptions& options,
                                       const std::string& mention, std::size_t* firstMention) {
  char templ[] = "/tmp/vedo-trace-XXXXXX";
  const int fd = ::mkstemp(templ);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  ::close(fd);
  std::vector<std::string> args = {"strace", "-qq", "-o", templ};
  args.insert(args.end(), argv.begin(), argv.end());
  run(args, options);
  std::vector<std::string> names;
  if (firstMention) *firstMention = std::string::npos;
  std::ifstream in(templ);
  for (std::string line; std::getline(in, line);) {
    const std::size_t paren = line.find('(');
    if (line.empty() || line[0] == '+' || line[0] == '-' || paren == std::string::npos) continue;
    if (firstMention && !mention.empty() && *firstMention == std::string::npos &&
        line.find(mention) != std::string::npos)
      *firstMention = names.size();
    names.push_back(line.substr(0, paren));
  }
  ::unlink(templ);
  return names;
}

RunResult runInjected(const std::string& inject, const std::vector<std::string>& argv, const RunOptions& options,
                      bool everyThread) {
  std::vector<std::string> args = {"strace", "-qq", "-o", "/dev/null", "-e", "inject=" + inject};
  if (everyThread) args.insert(args.begin() + 1, "-f");
  args.insert(args.end(), argv.begin(), argv.end());
  return run(args, options);
}

std::string injectionAt(const std::vector<std::string>& trace, std::size_t index, const std::string& action) {
  std::size_t count = 0;
  for (std::size_t i = 0; i <= index; ++i)
    if (trace[i] == trace[index]) ++count;
  return trace[index] + ":" + action + ":when=" + std::to_string(count);
}

std::string readBytes(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const stdfs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {
std::size_t readFile(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const std::string& bytes = *static_cast<const std::string*>(context);
  if (offset >= bytes.size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(size, bytes.size() - offset);
  std::memcpy(out, bytes.data() + offset, n);
  return n;
}
}  // namespace

std::optional<std::vector<std::string>> memberNames(const stdfs::path& archive) {
  std::string bytes = readBytes(archive);
  try {
    std::vector<std::string> names;
    for (const auto& m : unlha::parseArchive(readFile, &bytes, bytes.size())) names.push_back(m.path);
    return names;
  } catch (const unlha::ArchiveError&) {
    return std::nullopt;
  }
}

bool independentReaderAccepts(const stdfs::path& archive) { return run({"lhasa", "t", archive.string()}).succeeded(); }

std::optional<std::string> extractMember(const stdfs::path& archive, const std::string& member,
                                         const stdfs::path& scratch) {
  stdfs::remove_all(scratch);
  stdfs::create_directories(scratch);
  if (!run({"lhasa", "xqw=" + scratch.string(), archive.string()}).succeeded()) return std::nullopt;
  if (!stdfs::exists(scratch / member)) return std::nullopt;
  return readBytes(scratch / member);
}

std::vector<std::string> folderEntries(const stdfs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : stdfs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool isLibraryTempName(const std::string& name, const std::string& archiveName) {
  const std::string head = "." + archiveName + ".";
  return name.size() == head.size() + 16 + 4 && name.compare(0, head.size(), head) == 0 &&
         name.compare(name.size() - 4, 4, ".tmp") == 0;
}

std::string sjis(const std::string& utf8) {
  auto s = cp932::fromUtf8(utf8);
  if (!s) throw std::runtime_error("not representable in CP932: " + utf8);
  return *s;
}

}  // namespace vedo::fault
