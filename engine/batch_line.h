#pragma once
// One line of a batch file taken apart: the command prefix, the source part
// and the target part. Pure (no state, no files), so it can be tested and
// fuzzed on its own; the runner applies the result.
//
// A line has the shape  [<XX>]source;target  where "<XX>" is an optional
// two-letter command code, and "{" starts a comment in either part. All byte
// searches are character-wise in CP932: the second byte of a double-byte
// character never counts as ";", "{" or "<".

#include <optional>
#include <string>
#include <string_view>

namespace vedo {

enum class BatchLineAction {
  Skip,          // nothing to run: empty line, comment line, blanks only
  Incomplete,    // an entry with its source or its target part empty: not run
  ChangeFolder,  // "CD": `source` is the folder to change to
  Entry,         // compress, copy or move `source` with `target`
};

struct BatchLine {
  // True when the line is not empty: the runner then sets EntryCommand to
  // `command`, even when the rest of the line turns out to be skipped.
  bool setsCommand = false;
  int command = 0;                 // EntryCode; unknown codes, "UD" and "UN" give 0
  std::optional<bool> jobDialogs;  // "UD" -> true, "UN" -> false
  BatchLineAction action = BatchLineAction::Skip;
  std::string source;  // not trimmed after the comment cut: blanks before "{" stay
  std::string target;  // cut at "{", then trimmed
};

// The ";" and "{" cuts remove at most this many bytes, and the target part is
// taken from at most this many bytes after the ";".
inline constexpr std::size_t BatchCutLength = 255;

// Takes apart one line (without its line end).
BatchLine ParseBatchLine(std::string_view line);

// True when `line` holds "[VEDO BATFILE]" as characters of their own.
bool IsBatchHeader(std::string_view line);

}  // namespace vedo
