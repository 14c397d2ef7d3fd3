#include "unlha32/commands/read_commands.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "unlha32/archive/command_error.h"
#include "unlha32/archive/progress_report.h"
#include "unlha32/archive/read_archive.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

// Packed size per thousand bytes of original size; 0 for an empty member.
unsigned perMille(std::uint64_t packed, std::uint64_t original) {
  if (original == 0) return 0;
  const long double r = static_cast<long double>(packed) * 1000 / static_cast<long double>(original);
  return static_cast<unsigned>(r + 0.5L);
}

std::string ratioText(std::uint64_t packed, std::uint64_t original) {
  if (original == 0) return "  ----";
  const unsigned r = perMille(packed, original);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3u.%u%%", r / 10, r % 10);
  return buf;
}

// The time as local time; blank where the member has none.
std::string localTimeText(std::optional<std::int64_t> t) {
  if (!t) return "                   ";
  const std::time_t tt = static_cast<std::time_t>(*t);
  std::tm tm{};
  char buf[32];
  if (localtime_r(&tt, &tm) == nullptr || std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm) == 0)
    return "(no valid time)    ";
  return buf;
}

}  // namespace

CommandResult runList(const Command& command, ProgressReport& report) {
  const ReadArchive archive = openForReading(command.archive);
  const std::vector<bool> chosen = selectMembers(archive.members, command.sources);
  CommandResult r;
  r.message =
      "    Original       Packed  Ratio Method Date       Time     CRC  Name\n"
      "------------ ------------ ------ ------ ------------------- ---- ----------------\n";
  std::uint64_t totalOriginal = 0, totalPacked = 0;
  std::size_t count = 0;
  for (std::size_t i = 0; i < archive.members.size(); ++i) {
    if (!chosen[i]) continue;
    const MemberInfo& m = archive.members[i];
    report.member(m.path);
    char line[160];
    std::snprintf(line, sizeof line, "%12" PRIu64 " %12" PRIu64 " %s %s %s %04X ", m.originalSize, m.packedSize,
                  ratioText(m.packedSize, m.originalSize).c_str(), m.method.c_str(),
                  localTimeText(modificationTime(m)).c_str(), static_cast<unsigned>(m.crc));
    r.message += line + shownName(m.path);
    if (m.linkTarget) r.message += " -> " + shownName(*m.linkTarget);
    r.message += "\n";
    totalOriginal += m.originalSize;
    totalPacked += m.packedSize;
    ++count;
  }
  char total[160];
  std::snprintf(total, sizeof total,
                "------------ ------------ ------ ------ ------------------- ---- ----------------\n"
                "%12" PRIu64 " %12" PRIu64 " %s %zu file(s)\n",
                totalOriginal, totalPacked, ratioText(totalPacked, totalOriginal).c_str(), count);
  r.message += total;
  report.fraction(1.0);
  return r;
}

std::size_t forEachChosenMember(const ReadArchive& archive, const std::vector<bool>& chosen, ProgressReport& report,
                                CommandResult& r, const char* failedPrefix,
                                const std::function<void(const MemberInfo&)>& each) {
  std::uint64_t total = 0, done = 0;
  for (std::size_t i = 0; i < archive.members.size(); ++i)
    if (chosen[i]) total += archive.members[i].packedSize;
  std::size_t failed = 0;
  for (std::size_t i = 0; i < archive.members.size(); ++i) {
    if (!chosen[i]) continue;
    const MemberInfo& m = archive.members[i];
    throwIfCancelled(report);  // between members: nothing is half done
    report.member(m.path);
    try {
      each(m);
    } catch (const CommandError& e) {
      r.message += std::string(failedPrefix) + e.what() + "\n";
      if (r.code == UNLHA_OK) r.code = e.code();
      ++failed;
    }
    done += m.packedSize;
    report.fraction(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
  }
  return failed;
}

CommandResult runTest(const Command& command, ProgressReport& report) {
  const ReadArchive archive = openForReading(command.archive);
  const std::vector<bool> chosen = selectMembers(archive.members, command.sources);
  CommandResult r;
  std::size_t good = 0;
  const std::size_t bad = forEachChosenMember(archive, chosen, report, r, "FAILED ", [&](const MemberInfo& m) {
    decodeMemberData(archive, m, [](std::span<const std::uint8_t>) {});
    r.message += "OK     " + shownName(m.path) + "\n";
    ++good;
  });
  r.message += std::to_string(good) + " member(s) OK";
  if (bad != 0) r.message += ", " + std::to_string(bad) + " failed";
  r.message += "\n";
  return r;
}

}  // namespace unlha
