#pragma once
// The commands e and x: extract members of an existing archive.

#include "unlha32/archive/progress_report.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/commands/command_result.h"

namespace unlha {

// Extracts the chosen members into the command's destination folder ("x" with
// their stored folders, "e" by name alone). Never writes outside that folder:
// an absolute stored path, a ".." segment or a symbolic link in the way is
// refused. An existing file is kept unless the command says -o. Each file is
// written to a temporary name and renamed into place only when its CRC is
// right; its modification time and permission bits (never set-user-ID,
// set-group-ID or sticky) are restored.
CommandResult runExtract(const Command& command, ProgressReport& report);

}  // namespace unlha
