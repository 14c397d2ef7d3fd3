// The command "d": removes members, rewriting the archive as "a" does.

#include <unistd.h>

#include "unlha32/archive/archive_file.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/messages.h"
#include "unlha32/archive/read_archive.h"
#include "unlha32/commands/delete_command.h"
#include "unlha32/commands/read_commands.h"
#include "unlha32/include/unlha32.h"

namespace unlha {

CommandResult runDelete(const Command& command, ProgressReport& report) {
  ArchiveTarget target = locateArchive(command.archive);
  const ArchiveLock lock(target, report);
  if (!target.exists) throw CommandError(UNLHA_ERROR_READ, tr("no archive") + " \"" + command.archive + "\"");
  vedo::UniqueFd old;
  const std::vector<MemberInfo> existing = readExisting(target, old);
  const std::vector<bool> chosen = selectMembers(existing, command.sources);

  CommandResult r;
  std::size_t kept = 0, removed = 0;
  replaceArchive(target, [&](int fd) {
    OutputFile out(fd, target.display);
    for (std::size_t i = 0; i < existing.size(); ++i) {
      if (chosen[i]) {
        r.message += "deleted  " + shownName(existing[i].path) + "\n";
        ++removed;
        continue;
      }
      throwIfCancelled(report);  // the new archive is still without a name
      report.member(existing[i].path);
      copyMember(old.get(), existing[i], out, target.display);
      ++kept;
      report.fraction(static_cast<double>(i + 1) / static_cast<double>(existing.size()));
    }
    const std::uint8_t endMark = 0;
    out.write(std::span(&endMark, 1));
    out.flush();

    // The new file must parse to exactly the members kept.
    FdContext ctx{fd};
    try {
      if (parseArchive(readFd, &ctx, out.position()).size() != kept)
        throw CommandError(UNLHA_ERROR_VERIFY, tr("verification failed: member count differs"));
    } catch (const ArchiveError& e) {
      throw CommandError(UNLHA_ERROR_VERIFY, tr("verification failed") + ": " + e.what());
    }
    throwIfCancelled(report);  // the last point before the old archive is replaced
  });
  r.message += std::to_string(removed) + " member(s) deleted from \"" + target.display + "\", " +
               std::to_string(kept) + " kept\n";
  return r;
}

}  // namespace unlha
