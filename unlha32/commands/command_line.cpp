#include "unlha32/archive/messages.h"
#include "unlha32/commands/command_line.h"

#include "platform/sjis_text.h"

namespace unlha {

bool splitWords(std::string_view text, std::vector<std::string>& words, std::vector<bool>& quoted,
                std::string& error) {
  // A double quote (0x22) is never the second byte of a double-byte character,
  // and neither is a blank, so a byte-wise scan is character-wise here.
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c <= ' ') {
      ++i;
      continue;
    }
    std::string word;
    bool anyQuote = false;
    while (i < text.size() && static_cast<unsigned char>(text[i]) > ' ') {
      if (text[i] == '"') {
        const std::size_t close = text.find('"', i + 1);
        if (close == std::string_view::npos) {
          error = tr("unclosed double quote in the command");
          return false;
        }
        word.append(text.substr(i + 1, close - i - 1));
        anyQuote = true;
        i = close + 1;
      } else {
        const std::size_t len = vedo::sjis::charLength(text, i);
        word.append(text.substr(i, len));
        i += len;
      }
    }
    words.push_back(std::move(word));
    quoted.push_back(anyQuote);
  }
  return true;
}

bool parseCommand(std::string_view text, Command& out, std::string& error) {
  std::vector<std::string> words;
  std::vector<bool> quoted;
  if (!splitWords(text, words, quoted, error)) return false;
  if (words.empty()) {
    error = tr("empty command");
    return false;
  }
  out = Command{};
  out.word = words[0];
  static const struct {
    char word;
    CommandKind kind;
  } kWords[] = {{'a', CommandKind::Add},         {'l', CommandKind::List},    {'t', CommandKind::Test},
                {'e', CommandKind::ExtractFlat}, {'x', CommandKind::Extract}, {'d', CommandKind::Delete}};
  bool known = false;
  for (const auto& w : kWords) {
    if (words[0].size() == 1 && (words[0][0] | 0x20) == w.word) {
      out.kind = w.kind;
      known = true;
    }
  }
  if (!known) {
    error = tr("unknown command") + " \"" + words[0] + "\"";
    return false;
  }

  std::vector<std::string> names;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (quoted[i] || w.empty() || w[0] != '-') {
      names.push_back(w);
      continue;
    }
    if (w == "-n") {
      out.noProgress = true;
    } else if (w == "-o") {
      out.overwrite = true;
    } else if (w == "-r") {
      out.recurse = true;
    } else if (w == "-m0") {
      out.method = lzh::Method::Lh0;
    } else if (w == "-m5") {
      out.method = lzh::Method::Lh5;
    } else if (w == "-m6") {
      out.method = lzh::Method::Lh6;
    } else if (w == "-m7") {
      out.method = lzh::Method::Lh7;
    } else {
      error = tr("unknown switch") + " \"" + w + "\"";
      return false;
    }
  }
  if (names.empty() || names[0].empty()) {
    error = tr("no archive name in the command");
    return false;
  }
  out.archive = names[0];
  out.sources.assign(names.begin() + 1, names.end());
  for (const std::string& s : out.sources) {
    if (s.empty()) {
      error = tr("empty name in the command");
      return false;
    }
  }
  if (out.kind == CommandKind::Extract || out.kind == CommandKind::ExtractFlat) {
    if (!out.sources.empty()) {
      const std::string& first = out.sources.front();
      const std::size_t last = vedo::sjis::lastSeparator(first);
      if (last != std::string::npos && last + 1 == first.size()) {
        out.destination = first;
        out.sources.erase(out.sources.begin());
      }
    }
  }
  if (out.sources.empty() && out.kind == CommandKind::Add) {
    error = tr("no source file in the command");
    return false;
  }
  if (out.sources.empty() && out.kind == CommandKind::Delete) {
    error = tr("no member named to delete");
    return false;
  }
  return true;
}

}  // namespace unlha
