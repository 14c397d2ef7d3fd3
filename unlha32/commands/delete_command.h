#pragma once
// The command d: remove members from an existing archive.

#include "unlha32/archive/progress_report.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/commands/command_result.h"

namespace unlha {

// Removes the chosen members. Like "a", the archive is rewritten to a
// temporary file, checked, synced and renamed over the old one, which stays
// as it was on any failure.
CommandResult runDelete(const Command& command, ProgressReport& report);

}  // namespace unlha
