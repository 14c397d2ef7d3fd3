// The commands "e" and "x": extraction into a folder, never outside it.
//
// Every stored path is taken apart before anything is written: an absolute
// path, a ".." part or a name with a NUL byte is refused. The folders below
// the destination are then entered one at a time, relative to the folder
// opened before (openat with O_NOFOLLOW), so a symbolic link planted in the
// destination, or one that an earlier member of the same archive tried to
// become, can never redirect a write. A file is decoded into a temporary name
// in its folder and renamed into place only when its length and CRC are
// right, so a damaged member never leaves a half-written file behind, and
// without -o the rename itself refuses an existing name.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/cp932.h"
#include "platform/file_system.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/read_archive.h"
#include "unlha32/commands/extract_command.h"
#include "unlha32/commands/read_commands.h"
#include "unlha32/include/unlha32.h"
#include "unlha32/archive/messages.h"

namespace unlha {
namespace {

// Permission bits restored from the archive: never set-user-ID, set-group-ID
// or sticky, whatever the archive says.
constexpr mode_t kRestoredBits = 0777;

[[noreturn]] void unsafe(const MemberInfo& m, const std::string& why) {
  throw CommandError(UNLHA_ERROR_UNSAFE_PATH, "\"" + m.path + "\" refused: " + why);
}

// `what` is a message of the library, translated here.
[[noreturn]] void failed(const std::string& what, const std::string& name, int err) {
  throw CommandError(UNLHA_ERROR_WRITE, tr(what.c_str()) + " \"" + name + "\": " + systemMessage(err));
}

// The system names (UTF-8) of the stored path's parts, checked for safety.
std::vector<std::string> safeParts(const MemberInfo& m) {
  if (m.absolute) unsafe(m, "absolute path");
  std::vector<std::string> parts;
  std::size_t start = 0;
  // "/" (0x2F) is never the second byte of a double-byte character.
  while (start <= m.path.size()) {
    std::size_t slash = m.path.find('/', start);
    if (slash == std::string::npos) slash = m.path.size();
    const std::string part = m.path.substr(start, slash - start);
    start = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") unsafe(m, "\"..\" in the path");
    if (part.find('\0') != std::string::npos) unsafe(m, "NUL byte in the name");
    const std::optional<std::string> system = vedo::cp932::toUtf8(part);
    if (!system) throw CommandError(UNLHA_ERROR_NAME, "\"" + m.path + "\": name is not valid CP932");
    parts.push_back(*system);
  }
  if (parts.empty()) unsafe(m, "empty name");
  return parts;
}

// Opens the destination folder, creating missing levels. The user named this
// folder, so links on the way to it are followed as the system does.
Fd openDestination(const std::string& destination) {
  const std::optional<std::string> sys = vedo::fs::toSystemPath(destination.empty() ? "." : destination);
  if (!sys) throw CommandError(UNLHA_ERROR_NAME, tr("folder name cannot be held in CP932") + ": \"" + destination + "\"");
  for (std::size_t i = 1; i < sys->size(); ++i)
    if ((*sys)[i] == '/') (void)::mkdir(sys->substr(0, i).c_str(), 0777);  // failures show at the open below
  (void)::mkdir(sys->c_str(), 0777);
  Fd fd(::open(sys->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) failed("cannot open the folder", destination, errno);
  return fd;
}

// Enters folder `name` below `dir`, creating it when `create` says so. A
// symbolic link (or anything but a folder) in its place is refused.
Fd enter(int dir, const std::string& name, const MemberInfo& m, bool create) {
  if (create && ::mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST) failed("cannot create a folder for", m.path, errno);
  Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      unsafe(m, "symbolic link in the way");
    if (err == ENOTDIR) unsafe(m, "a file stands where a folder belongs");
    failed("cannot enter a folder for", m.path, err);
  }
  return fd;
}

// Enters every folder of `parts` but the last `keep` parts.
Fd enterFolders(int destination, const std::vector<std::string>& parts, std::size_t keep, const MemberInfo& m,
                bool create) {
  Fd dir(::dup(destination));
  if (dir.get() < 0) failed("cannot open the folder for", m.path, errno);
  for (std::size_t i = 0; i + keep < parts.size(); ++i) dir = enter(dir.get(), parts[i], m, create);
  return dir;
}

timespec secondsOf(std::int64_t t) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(t);
  return ts;
}

void setTimes(int fd, const MemberInfo& m) {
  timespec times[2];
  const std::optional<std::int64_t> access = accessTime(m);
  if (access) {
    times[0] = secondsOf(*access);
  } else {
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
  }
  times[1] = secondsOf(modificationTime(m));
  (void)::futimens(fd, times);  // a file system without times keeps the data, which is what matters
}

// A temporary file in `dir`, removed again unless renamed into place.
class TempEntry {
 public:
  TempEntry(int dir, mode_t mode, const MemberInfo& m) : dir_(dir) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
      char name[40];
      std::snprintf(name, sizeof name, ".unlha%016llx.tmp", static_cast<unsigned long long>(random()));
      name_ = name;
      fd_.reset(::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
      if (fd_.get() >= 0 || errno != EEXIST) break;
    }
    if (fd_.get() < 0) failed("cannot create a file for", m.path, errno);
  }
  ~TempEntry() {
    if (!placed_) ::unlinkat(dir_, name_.c_str(), 0);
  }
  TempEntry(const TempEntry&) = delete;
  TempEntry& operator=(const TempEntry&) = delete;
  int fd() const { return fd_.get(); }
  const std::string& name() const { return name_; }
  void placed() { placed_ = true; }

 private:
  int dir_;
  std::string name_;
  Fd fd_;
  bool placed_ = false;
};

// Renames `from` to `to` in `dir`; without `overwrite` an existing `to` stays.
void placeFile(int dir, const std::string& from, const std::string& to, bool overwrite, const MemberInfo& m) {
  if (!overwrite) {
    if (::renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST) throw CommandError(UNLHA_ERROR_EXISTS, "\"" + m.path + "\" " + tr("exists and was kept (-o replaces it)"));
    if (errno != EINVAL && errno != ENOSYS) failed("cannot create", m.path, errno);
    // A file system without RENAME_NOREPLACE: look, then rename.
    struct stat st {};
    if (::fstatat(dir, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      throw CommandError(UNLHA_ERROR_EXISTS, "\"" + m.path + "\" " + tr("exists and was kept (-o replaces it)"));
  }
  if (::renameat(dir, from.c_str(), dir, to.c_str()) != 0) failed("cannot create", m.path, errno);
}

void extractFile(const ReadArchive& archive, const MemberInfo& m, int destination, const std::vector<std::string>& parts,
                 bool overwrite) {
  const Fd dir = enterFolders(destination, parts, 1, m, true);
  const std::string& name = parts.back();
  struct stat st {};
  if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!overwrite) throw CommandError(UNLHA_ERROR_EXISTS, "\"" + m.path + "\" " + tr("exists and was kept (-o replaces it)"));
    if (S_ISDIR(st.st_mode)) unsafe(m, "a folder stands where the file belongs");
  }
  // Without stored permissions the umask decides, as for any new file.
  TempEntry temp(dir.get(), m.unixMode ? 0600 : 0666, m);
  {
    OutputFile out(temp.fd(), m.path);
    decodeMemberData(archive, m, [&](std::span<const std::uint8_t> bytes) { out.write(bytes); });
    out.flush();
  }
  struct stat now {};
  if (m.unixMode) {
    (void)::fchmod(temp.fd(), *m.unixMode & kRestoredBits);
  } else if ((m.attribute & 0x01) != 0 && ::fstat(temp.fd(), &now) == 0) {
    (void)::fchmod(temp.fd(), now.st_mode & 0555);  // MS-DOS read-only attribute
  }
  setTimes(temp.fd(), m);
  // Some file systems (NFS) report a failed write only when a descriptor of
  // the file is closed.
  if (::close(::dup(temp.fd())) != 0) failed("cannot write", m.path, errno);
  placeFile(dir.get(), temp.name(), name, overwrite, m);
  temp.placed();
}

// A folder member's permissions and time, set once everything inside it is
// written (a read-only folder would otherwise refuse its own files).
struct FolderFix {
  const MemberInfo* member;
  std::vector<std::string> parts;
};

}  // namespace

CommandResult runExtract(const Command& command, ProgressReport& report) {
  const bool keepPaths = command.kind == CommandKind::Extract;
  const ReadArchive archive = openForReading(command.archive);
  const std::vector<bool> chosen = selectMembers(archive.members, command.sources);
  const Fd destination = openDestination(command.destination);

  CommandResult r;
  std::vector<FolderFix> folders;
  std::uint64_t total = 0, done = 0;
  for (std::size_t i = 0; i < archive.members.size(); ++i)
    if (chosen[i]) total += archive.members[i].packedSize;
  std::size_t extracted = 0, refused = 0;
  for (std::size_t i = 0; i < archive.members.size(); ++i) {
    if (!chosen[i]) continue;
    const MemberInfo& m = archive.members[i];
    throwIfCancelled(report);  // between members: no file is half written
    report.member(m.path);
    try {
      std::vector<std::string> parts = safeParts(m);
      if (m.isDirectory()) {
        if (keepPaths) {
          (void)enterFolders(destination.get(), parts, 0, m, true);
          folders.push_back({&m, std::move(parts)});
        }
      } else {
        if (!keepPaths) parts.erase(parts.begin(), parts.end() - 1);
        extractFile(archive, m, destination.get(), parts, command.overwrite);
        r.message += "extracted  " + m.path + "\n";
        ++extracted;
      }
    } catch (const CommandError& e) {
      r.message += std::string("FAILED     ") + e.what() + "\n";
      if (r.code == UNLHA_OK) r.code = e.code();
      ++refused;
    }
    done += m.packedSize;
    report.fraction(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
  }
  // Deepest folders first, so a parent's time is set after its children changed it.
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    try {
      const Fd dir = enterFolders(destination.get(), it->parts, 0, *it->member, false);
      if (it->member->unixMode) (void)::fchmod(dir.get(), *it->member->unixMode & kRestoredBits);
      setTimes(dir.get(), *it->member);
    } catch (const CommandError& e) {
      r.message += std::string("FAILED     ") + e.what() + "\n";
      if (r.code == UNLHA_OK) r.code = e.code();
    }
  }
  r.message += std::to_string(extracted) + " file(s) extracted";
  if (refused != 0) r.message += ", " + std::to_string(refused) + " failed or refused";
  r.message += "\n";
  return r;
}

}  // namespace unlha
