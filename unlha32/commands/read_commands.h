#pragma once
// The commands that read an existing archive without writing: l (list) and t
// (test). Each throws CommandError for a failure that stops it; failures of
// single members are collected and reported together.

#include <cstddef>
#include <functional>
#include <vector>

#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/progress_report.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/commands/command_result.h"

namespace unlha {

struct ReadArchive;

// Runs `each` on every chosen member, in archive order: a cancel check and the
// member's name go to `report` before, the progress (by packed size) after. A
// CommandError from `each` fails that member alone: a line of `failedPrefix`
// and its message goes to r.message, and the first failure's code becomes
// r.code. Returns the number of members that failed.
std::size_t forEachChosenMember(const ReadArchive& archive, const std::vector<bool>& chosen, ProgressReport& report,
                                CommandResult& r, const char* failedPrefix,
                                const std::function<void(const MemberInfo&)>& each);

// One line per chosen member (original and packed size, ratio, method, date
// and time, CRC, name), then a total line.
CommandResult runList(const Command& command, ProgressReport& report);

// Decodes every chosen member and compares its length and CRC.
CommandResult runTest(const Command& command, ProgressReport& report);

}  // namespace unlha
