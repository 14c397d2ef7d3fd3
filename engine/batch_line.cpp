#include "engine/batch_line.h"

#include "engine/app_state.h"
#include "platform/sjis_text.h"

namespace vedo {
namespace {

struct CodeEntry {
  const char* code;
  int command;
  std::optional<bool> jobDialogs;
};

// The two-letter codes, matched exactly and case-sensitively. "UD" and "UN"
// leave the entry a plain compress and switch the archiver's own display.
constexpr CodeEntry kCodes[] = {
    {"DL", EntryDL, std::nullopt}, {"DC", EntryDC, std::nullopt}, {"BC", EntryBC, std::nullopt},
    {"BD", EntryBD, std::nullopt}, {"ND", EntryND, std::nullopt}, {"CP", EntryCP, std::nullopt},
    {"MV", EntryMV, std::nullopt}, {"CD", EntryCD, std::nullopt}, {"UD", EntryPlain, true},
    {"UN", EntryPlain, false},
};

// Bytes 2 and 3 of a line that starts with "<". A line shorter than that has
// no code (the missing bytes never match).
void applyPrefix(std::string_view line, BatchLine& out) {
  if (line.size() < 3) return;
  const std::string_view code = line.substr(1, 2);
  for (const CodeEntry& c : kCodes) {
    if (code == c.code) {
      out.command = c.command;
      out.jobDialogs = c.jobDialogs;
      return;
    }
  }
}

}  // namespace

BatchLine ParseBatchLine(std::string_view line) {
  BatchLine out;
  if (line.empty()) return out;
  out.setsCommand = true;

  // The prefix: "<", the code and one more byte (by convention ">", not
  // tested) are removed whatever the code was.
  std::string source(line);
  if (line.front() == '<') {
    applyPrefix(line, out);
    sjis::removeBytes(source, 0, 4);
  }
  if (source.empty()) return out;

  // Source: up to the first ";" of what is left (the cut takes at most 255
  // bytes; anything beyond them stays, as the line format has always done).
  sjis::cutAtChar(source, ';', BatchCutLength);
  // Target: the up to 255 bytes after the first ";" of the whole line, or the
  // whole line's first 255 bytes, prefix included, when it has no ";".
  std::string target;
  const std::size_t semicolon = sjis::findChar(line, ';');
  if (semicolon != sjis::npos)
    target = std::string(line.substr(semicolon + 1, BatchCutLength));
  else
    target = std::string(line.substr(0, BatchCutLength));
  sjis::cutAtChar(target, '{', BatchCutLength);

  source = sjis::trim(source);
  if (sjis::findChar(source, '{') == 0) return out;  // a comment line
  // Blanks before a trailing comment stay: the source is not trimmed again.
  sjis::cutAtChar(source, '{', BatchCutLength);
  target = sjis::trim(target);

  // A part that trimming left empty names nothing; such an entry is not run
  // with an empty field (an empty copy target would name the root folder),
  // and the run tells that it left it out.
  if (out.command == EntryCD) {
    if (source.empty()) return out;
    out.action = BatchLineAction::ChangeFolder;
  } else if (source.empty() && (target.empty() || semicolon == sjis::npos)) {
    return out;  // blanks only, or a prefix alone (the target is then the line itself)
  } else {
    out.action = source.empty() || target.empty() ? BatchLineAction::Incomplete : BatchLineAction::Entry;
  }
  out.source = std::move(source);
  out.target = std::move(target);
  return out;
}

bool IsBatchHeader(std::string_view line) {
  static constexpr std::string_view kHeader = "[VEDO BATFILE]";
  for (std::size_t i = 0; i + kHeader.size() <= line.size(); i += sjis::charLength(line, i)) {
    if (line.compare(i, kHeader.size(), kHeader) == 0) return true;
  }
  return false;
}

}  // namespace vedo
