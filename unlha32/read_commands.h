#pragma once
// The commands over an existing archive: l (list), t (test), e and x
// (extract), d (delete members). Each throws CommandError for a failure that
// stops it; failures of single members are collected and reported together.

#include "add_command.h"
#include "command_line.h"
#include "progress.h"

namespace unlha {

// One line per chosen member (original and packed size, ratio, method, date
// and time, CRC, name), then a total line.
CommandResult runList(const Command& command, ProgressReport& report);

// Decodes every chosen member and compares its length and CRC.
CommandResult runTest(const Command& command, ProgressReport& report);

// Extracts the chosen members into the command's destination folder ("x" with
// their stored folders, "e" by name alone). Never writes outside that folder:
// an absolute stored path, a ".." segment or a symbolic link in the way is
// refused. An existing file is kept unless the command says -o. Each file is
// written to a temporary name and renamed into place only when its CRC is
// right; its modification time and permission bits (never set-user-ID,
// set-group-ID or sticky) are restored.
CommandResult runExtract(const Command& command, ProgressReport& report);

// Removes the chosen members. Like "a", the archive is rewritten to a
// temporary file, checked, synced and renamed over the old one, which stays
// as it was on any failure.
CommandResult runDelete(const Command& command, ProgressReport& report);

}  // namespace unlha
