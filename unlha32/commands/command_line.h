#pragma once
// The command text that Unlha receives, split into its parts. The text is
// CP932: a command word, switches (a "-" and letters, never quoted), then the
// archive and its further names, each quoted with double quotes or not:
//   a [switches] ARCHIVE SOURCE...
//   l|t [switches] ARCHIVE [PATTERN...]
//   e|x [switches] ARCHIVE [FOLDER/] [PATTERN...]
//   d [switches] ARCHIVE PATTERN...

#include <string>
#include <string_view>
#include <vector>

#include "unlha32/codec/lzh_codec.h"

namespace unlha {

enum class CommandKind {
  Add,         // a
  List,        // l
  Test,        // t
  ExtractFlat, // e: names only
  Extract,     // x: with the stored folders
  Delete,      // d
};

struct Command {
  CommandKind kind = CommandKind::Add;
  std::string word;                    // the command word as written
  lzh::Method method = lzh::Method::Lh5;
  bool recurse = false;                // -r
  bool noProgress = false;             // -n
  bool overwrite = false;              // -o: extraction replaces existing files
  std::string archive;
  // "a": the files to add. l, t, e, x, d: patterns choosing members (none:
  // every member; "d" needs at least one).
  std::vector<std::string> sources;
  // e, x: the folder to extract into, the first name after the archive that
  // ends with a folder separator ("dest/"); empty for the current folder.
  std::string destination;
};

// Parses `text`. On failure returns false and puts a readable reason into `error`.
bool parseCommand(std::string_view text, Command& out, std::string& error);

// Splits the text into words: blanks separate words, a double-quoted stretch
// keeps its blanks and loses its quotes. `quoted` tells, per word, whether any
// part of it was quoted. False (with `error`) for an unclosed quote.
bool splitWords(std::string_view text, std::vector<std::string>& words, std::vector<bool>& quoted,
                std::string& error);

}  // namespace unlha
