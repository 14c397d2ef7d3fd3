// The commands "e" and "x": extraction into a folder, never outside it.
//
// Every stored path is taken apart before anything is written: a leading
// separator and every "." and ".." part are dropped, so the member lands inside
// the destination, and a name with a NUL byte is refused. The folders below
// the destination are then entered one at a time, relative to the folder
// opened before (openat with O_NOFOLLOW), so a symbolic link planted in the
// destination, or one that an earlier member of the same archive became, can
// never redirect a write. A symbolic-link member becomes a link only when its
// target, taken from the link's folder, stays inside the destination. A file
// is decoded into a file without a name in its folder (replaceAtomicallyAt)
// that takes its name only when its length and CRC are right, so a damaged
// member never leaves a half-written file behind, and without -o the final
// link itself refuses an existing name.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/cp932.h"
#include "platform/file_system.h"
#include "platform/replace_file.h"
#include "platform/unique_fd.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/archive/read_archive.h"
#include "unlha32/commands/extract_command.h"
#include "unlha32/commands/read_commands.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

// Permission bits restored from the archive: never set-user-ID, set-group-ID
// or sticky, whatever the archive says.
constexpr mode_t kRestoredBits = 0777;

[[noreturn]] void unsafe(const MemberInfo& m, const std::string& why) {
  throw CommandError(UNLHA_ERROR_UNSAFE_PATH, "\"" + shownName(m.path) + "\" refused: " + why);
}

// `what` is a message of the library, translated here.
[[noreturn]] void failed(const std::string& what, const std::string& name, int err) {
  throw CommandError(UNLHA_ERROR_WRITE, tr(what.c_str()) + " \"" + shownName(name) + "\": " + systemMessage(err));
}

[[noreturn]] void kept(const MemberInfo& m) {
  throw CommandError(UNLHA_ERROR_EXISTS, "\"" + shownName(m.path) + "\" " + tr("exists and was kept (-o replaces it)"));
}

// The parts of a "/"-separated CP932 path, empty parts and "." left out.
std::vector<std::string> pathParts(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  // "/" (0x2F) is never the second byte of a double-byte character.
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string_view::npos) slash = path.size();
    std::string part(path.substr(start, slash - start));
    start = slash + 1;
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
  }
  return parts;
}

std::string systemName(const MemberInfo& m, const std::string& cp932) {
  const std::optional<std::string> system = vedo::cp932::toUtf8(cp932);
  if (!system) throw CommandError(UNLHA_ERROR_NAME, "\"" + shownName(m.path) + "\": name is not valid CP932");
  return *system;
}

// The system names (UTF-8) of the stored path's parts, ".." parts dropped;
// empty for a member without a name.
std::vector<std::string> safeParts(const MemberInfo& m) {
  std::vector<std::string> parts;
  for (const std::string& part : pathParts(m.path)) {
    if (part == "..") continue;
    if (part.find('\0') != std::string::npos) unsafe(m, "NUL byte in the name");
    parts.push_back(systemName(m, part));
  }
  return parts;
}

// Opens the destination folder, creating missing levels. The user named this
// folder, so links on the way to it are followed as the system does.
vedo::UniqueFd openDestination(const std::string& destination) {
  const std::optional<std::string> sys = vedo::fs::toSystemPath(destination.empty() ? "." : destination);
  if (!sys) throw CommandError(UNLHA_ERROR_NAME, tr("folder name cannot be held in CP932") + ": \"" + destination + "\"");
  for (std::size_t i = 1; i < sys->size(); ++i)
    if ((*sys)[i] == '/') (void)::mkdir(sys->substr(0, i).c_str(), 0777);  // failures show at the open below
  (void)::mkdir(sys->c_str(), 0777);
  vedo::UniqueFd fd(::open(sys->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) failed("cannot open the folder", destination, errno);
  return fd;
}

// Enters folder `name` below `dir`, creating it when `create` says so. A
// symbolic link (or anything but a folder) in its place is refused.
vedo::UniqueFd enter(int dir, const std::string& name, const MemberInfo& m, bool create) {
  if (create && ::mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST) failed("cannot create a folder for", m.path, errno);
  vedo::UniqueFd fd(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
vedo::UniqueFd enterFolders(int destination, const std::vector<std::string>& parts, std::size_t keep, const MemberInfo& m,
                bool create) {
  vedo::UniqueFd dir(::dup(destination));
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
  const std::optional<std::int64_t> modified = modificationTime(m);
  if (modified) {
    times[1] = secondsOf(*modified);
  } else {  // no time stored: the file keeps the time of its extraction
    times[1].tv_sec = 0;
    times[1].tv_nsec = UTIME_OMIT;
  }
  (void)::futimens(fd, times);  // a file system without times keeps the data, which is what matters
}

void extractFile(const ReadArchive& archive, const MemberInfo& m, int destination, const std::vector<std::string>& parts,
                 bool overwrite) {
  const vedo::UniqueFd dir = enterFolders(destination, parts, 1, m, true);
  const std::string& name = parts.back();
  struct stat st {};
  if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!overwrite) kept(m);
    if (S_ISDIR(st.st_mode)) unsafe(m, "a folder stands where the file belongs");
  }
  // The file is written without a name and takes it only when complete and
  // checked. Without stored permissions the umask decides, as for any new file.
  const vedo::fs::ReplaceResult placed = vedo::fs::replaceAtomicallyAt(
      dir.get(), name,
      [&](int fd) {
        {
          OutputFile out(fd, shownName(m.path));
          decodeMemberData(archive, m, fileContentSink(m, [&](std::span<const std::uint8_t> bytes) { out.write(bytes); }));
          out.flush();
        }
        struct stat now {};
        if (m.unixMode) {
          (void)::fchmod(fd, *m.unixMode & kRestoredBits);
        } else if ((m.attribute & 0x01) != 0 && ::fstat(fd, &now) == 0) {
          (void)::fchmod(fd, now.st_mode & 0555);  // MS-DOS read-only attribute
        }
        setTimes(fd, m);
        // Some file systems (NFS) report a failed write only when a
        // descriptor of the file is closed; the file is not synced here.
        const int copy = ::dup(fd);
        if (copy < 0) return errno;
        return ::close(copy) == 0 ? 0 : errno;
      },
      {}, overwrite ? vedo::fs::Existing::Replace : vedo::fs::Existing::Keep, vedo::fs::Durability::Writeback);
  if (placed.replaced) return;
  if (placed.error == EEXIST) kept(m);
  failed("cannot create", m.path, placed.error);
}

// The target a symbolic link at `depth` folders below the destination may
// have: its stored target with "." and ".." parts taken apart from the link's
// folder, as "../" steps followed by names. nullopt when it is absolute or
// climbs out of the destination. Links made this way never lead out: their
// ".." steps only climb real folders (the link's own, entered without
// following links), and the names after them only descend.
std::optional<std::string> linkTargetInside(const MemberInfo& m, std::size_t depth) {
  const std::string& stored = *m.linkTarget;
  if (stored.empty() || stored.front() == '/') return std::nullopt;
  std::size_t ups = 0;
  std::vector<std::string> down;
  for (const std::string& part : pathParts(stored)) {
    if (part != "..") {
      if (part.find('\0') != std::string::npos) return std::nullopt;
      down.push_back(systemName(m, part));
    } else if (!down.empty()) {
      down.pop_back();
    } else {
      ++ups;
    }
  }
  if (ups > depth) return std::nullopt;
  std::string target;
  for (std::size_t i = 0; i < ups; ++i) target += "../";
  for (const std::string& part : down) target += part + "/";
  if (target.empty()) return ".";
  target.pop_back();
  return target;
}

// Makes the symbolic link `m` at `parts`; false (nothing made) when its target
// would lead out of the destination.
bool extractLink(const MemberInfo& m, int destination, const std::vector<std::string>& parts, bool overwrite) {
  const std::optional<std::string> target = linkTargetInside(m, parts.size() - 1);
  if (!target) return false;
  const vedo::UniqueFd dir = enterFolders(destination, parts, 1, m, true);
  const std::string& name = parts.back();
  struct stat st {};
  if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!overwrite) kept(m);
    if (S_ISDIR(st.st_mode)) unsafe(m, "a folder stands where the link belongs");
    if (::unlinkat(dir.get(), name.c_str(), 0) != 0) failed("cannot replace", m.path, errno);
  }
  if (::symlinkat(target->c_str(), dir.get(), name.c_str()) != 0) failed("cannot create the link", m.path, errno);
  return true;
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
  const vedo::UniqueFd destination = openDestination(command.destination);

  CommandResult r;
  std::vector<FolderFix> folders;
  std::size_t extracted = 0;
  const std::size_t refused = forEachChosenMember(archive, chosen, report, r, "FAILED     ", [&](const MemberInfo& m) {
    std::vector<std::string> parts = safeParts(m);
    if (m.isDirectory()) {
      // A folder entry without a name (some writers store one for the
      // archive's root) has nothing to make.
      if (keepPaths && !parts.empty()) {
        (void)enterFolders(destination.get(), parts, 0, m, true);
        folders.push_back({&m, std::move(parts)});
      }
      return;
    }
    if (parts.empty()) unsafe(m, "empty name");
    if (!keepPaths) parts.erase(parts.begin(), parts.end() - 1);
    if (!m.isSymlink()) {
      extractFile(archive, m, destination.get(), parts, command.overwrite);
      r.message += "extracted  " + shownName(m.path) + "\n";
      ++extracted;
    } else if (extractLink(m, destination.get(), parts, command.overwrite)) {
      r.message += "linked     " + shownName(m.path) + " -> " + shownName(*m.linkTarget) + "\n";
      ++extracted;
    } else {
      r.message += "skipped    " + shownName(m.path) + " -> " + shownName(*m.linkTarget) +
                   ": the link would lead out of the folder\n";
    }
  });
  // Deepest folders first, so a parent's time is set after its children changed it.
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    try {
      const vedo::UniqueFd dir = enterFolders(destination.get(), it->parts, 0, *it->member, false);
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
