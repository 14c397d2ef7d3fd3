#pragma once
// The command "a": add files to an archive (creating it when absent).

#include "unlha32/archive/progress_report.h"
#include "unlha32/commands/command_line.h"
#include "unlha32/commands/command_result.h"

namespace unlha {

// Compresses every file the sources match into the archive. The new archive is
// written to a temporary file beside the old one: existing members are copied
// as they are (a member of a name being added is replaced), new members are
// appended, every new member is decoded again and its CRC compared, the file
// and its folder are synced, and only then is it renamed over the archive. On
// any failure the temporary file is removed and the old archive (or its
// absence) stays as it was.
CommandResult runAdd(const Command& command, ProgressReport& report);

// The progress fraction runAdd reports once every new member is written; the
// rest of the way to 1.0 is the check of the new members.
inline constexpr double kWriteShare = 0.9;

}  // namespace unlha
