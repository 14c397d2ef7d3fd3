// A batch line is whatever bytes stand between two carriage returns: the
// parser must take any of them apart without reading outside the line, and
// its result must keep the promises the runner relies on.
#include <string_view>

#include "engine/app_state.h"
#include "engine/batch_line.h"
#include "tests/fuzz/fuzz_targets.h"

namespace vedo::fuzz {
namespace {

bool isBlank(char c) { return static_cast<unsigned char>(c) < 0x21; }

}  // namespace

int batchLine(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  (void)IsBatchHeader(line);

  const BatchLine parsed = ParseBatchLine(line);
  check(parsed.setsCommand == !line.empty(), "every non-empty line sets the command");
  check(parsed.command >= EntryPlain && parsed.command <= EntryCD, "command code in range");
  check(parsed.source.size() <= line.size(), "source no longer than the line");
  check(parsed.target.size() <= BatchCutLength, "target at most 255 bytes");
  switch (parsed.action) {
    case BatchLineAction::Skip:
      check(parsed.source.empty() && parsed.target.empty(), "a skipped line carries no parts");
      break;
    case BatchLineAction::Incomplete:
      check(parsed.command != EntryCD, "CD is never an entry");
      check(parsed.source.empty() != parsed.target.empty(), "an incomplete entry lacks one part");
      break;
    case BatchLineAction::ChangeFolder:
      check(parsed.command == EntryCD, "a folder change comes from CD");
      check(!parsed.source.empty() && !isBlank(parsed.source.front()), "folder is not empty and trimmed at the start");
      break;
    case BatchLineAction::Entry:
      check(parsed.command != EntryCD, "CD is never an entry");
      check(!parsed.source.empty() && !isBlank(parsed.source.front()), "source is not empty and trimmed at the start");
      check(parsed.source.front() != '{', "a comment is never a source");
      check(!parsed.target.empty() && !isBlank(parsed.target.front()) && !isBlank(parsed.target.back()),
            "target is not empty and trimmed at both ends");
      break;
  }
  // The parts are pieces of the line: the parser invents no bytes.
  if (!parsed.target.empty())
    check(line.find(parsed.target) != std::string_view::npos, "target is a piece of the line");
  return 0;
}

}  // namespace vedo::fuzz
