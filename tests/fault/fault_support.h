#pragma once
// Shared pieces of the fault tests: running programs (optionally under strace,
// to kill them or fail one system call at an exact point), the programs under
// test, and checks on archives through an independent reader.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vedo::fault {

namespace stdfs = std::filesystem;

struct RunResult {
  bool exited = false;  // ended by exit(); `code` holds the status
  int code = -1;
  int signal = 0;       // ended by this signal
  bool succeeded() const { return exited && code == 0; }
  bool killed() const { return signal == 9; }
};

struct RunOptions {
  stdfs::path cwd;                           // empty: the current folder
  std::map<std::string, std::string> env;    // set on top of the inherited environment
  stdfs::path output = "/dev/null";          // standard output and error go here
};

inline RunOptions inFolder(const stdfs::path& cwd) {
  RunOptions o;
  o.cwd = cwd;
  return o;
}

// Runs argv[0] (searched in PATH) and waits for it.
RunResult run(const std::vector<std::string>& argv, const RunOptions& options = {});

// Where the programs of this build are (VEDO_BUILD_BIN, else the build's bin/).
stdfs::path buildBin();
stdfs::path unlhaProgram();
stdfs::path libraryPath();
// Test programs of this folder.
stdfs::path probeProgram(const char* name);

// True when the program can be run from PATH.
bool haveProgram(const char* name);

// The system calls a run of argv makes, in order, by name (strace -o); with
// `firstMention`, also the index of the first call whose line holds that text.
std::vector<std::string> traceSyscalls(const std::vector<std::string>& argv, const RunOptions& options = {},
                                       const std::string& mention = {}, std::size_t* firstMention = nullptr);

// argv run under strace with `inject` (the text after "-e inject="), e.g.
// "openat:signal=KILL:when=3" or "fsync:error=EIO:when=1". With
// `everyThread`, the library's worker threads are followed too; strace then
// counts the calls of each thread separately.
RunResult runInjected(const std::string& inject, const std::vector<std::string>& argv,
                      const RunOptions& options = {}, bool everyThread = false);

// The injection that acts exactly at the index-th system call of `trace`:
// strace counts invocations of each call separately, so the index becomes
// "<name>:...:when=<how many of that name up to it>".
std::string injectionAt(const std::vector<std::string>& trace, std::size_t index, const std::string& action);

// True for the calls a sanitizer runtime makes for itself inside a run (it
// probes memory through a pipe with write, reads its own maps): in a sanitized
// build a failure injected there would test the sanitizer, not our code, so
// those calls are failed only in ordinary builds.
inline bool sanitizerOwnsCall(const std::string& call) {
#ifdef VEDO_FAULT_SANITIZED
  return call == "write" || call == "read";
#else
  (void)call;
  return false;
#endif
}

std::string readBytes(const stdfs::path& p);
void writeBytes(const stdfs::path& p, const std::string& bytes);

// Member names of an archive as our reader sees them (nullopt: not an archive).
std::optional<std::vector<std::string>> memberNames(const stdfs::path& archive);
// `lhasa t` accepts the archive.
bool independentReaderAccepts(const stdfs::path& archive);
// The bytes of one member as `lhasa` extracts it (nullopt when it cannot).
std::optional<std::string> extractMember(const stdfs::path& archive, const std::string& member,
                                         const stdfs::path& scratch);

// Names in a folder (not recursive), sorted.
std::vector<std::string> folderEntries(const stdfs::path& folder);

// The short-lived name a new file takes between its link and the rename over
// the old one (".vedo<pid>.<n>"), left only by a kill at that rename.
bool isReplacementTempName(const std::string& name);

// A UTF-8 name as CP932 bytes (throws when it cannot be).
std::string sjis(const std::string& utf8);

}  // namespace vedo::fault
