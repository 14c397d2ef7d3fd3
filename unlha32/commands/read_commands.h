#pragma once
// The commands that read an existing archive without writing: l (list) and t
// (test). Each throws CommandError for a failure that stops it; failures of
// single members are collected and reported together.

#include "unlha32/archive/progress_report.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/commands/command_result.h"

namespace unlha {

// One line per chosen member (original and packed size, ratio, method, date
// and time, CRC, name), then a total line.
CommandResult runList(const Command& command, ProgressReport& report);

// Decodes every chosen member and compares its length and CRC.
CommandResult runTest(const Command& command, ProgressReport& report);

}  // namespace unlha
