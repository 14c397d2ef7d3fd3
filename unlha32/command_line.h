#pragma once
// The command text that Unlha receives, split into its parts. The text is
// CP932: a command word, switches (a "-" and letters, never quoted), then the
// archive and one or more sources, each quoted with double quotes or not.

#include <string>
#include <string_view>
#include <vector>

#include "lzh_codec.h"

namespace unlha {

enum class CommandKind { Add, NotYetSupported };

struct Command {
  CommandKind kind = CommandKind::Add;
  std::string word;                    // the command word as written
  lzh::Method method = lzh::Method::Lh5;
  bool recurse = false;                // -r
  bool noProgress = false;             // -n
  std::string archive;
  std::vector<std::string> sources;
};

// Parses `text`. On failure returns false and puts a readable reason into `error`.
bool parseCommand(std::string_view text, Command& out, std::string& error);

// Splits the text into words: blanks separate words, a double-quoted stretch
// keeps its blanks and loses its quotes. `quoted` tells, per word, whether any
// part of it was quoted. False (with `error`) for an unclosed quote.
bool splitWords(std::string_view text, std::vector<std::string>& words, std::vector<bool>& quoted,
                std::string& error);

}  // namespace unlha
