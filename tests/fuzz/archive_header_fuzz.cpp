// The library reads the headers of an existing archive before it adds to it,
// and then copies the members it keeps. A damaged archive must be refused,
// never read outside the file, and what it accepts must lie inside the file.
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/codec/lzh_codec.h"

namespace vedo::fuzz {
namespace {

struct Memory {
  std::span<const std::uint8_t> bytes;
};

std::size_t readMemory(void* context, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const auto& bytes = static_cast<Memory*>(context)->bytes;
  if (offset >= bytes.size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(size, bytes.size() - offset);
  std::memcpy(out, bytes.data() + offset, n);
  return n;
}

std::optional<lzh::Method> methodOf(const std::string& id) {
  if (id == "-lh0-") return lzh::Method::Lh0;
  if (id == "-lh5-") return lzh::Method::Lh5;
  if (id == "-lh6-") return lzh::Method::Lh6;
  if (id == "-lh7-") return lzh::Method::Lh7;
  return std::nullopt;
}

// Decodes a member the way the library verifies one: its data, bounded by
// its packed size, must give its original size or a format error.
void decodeMember(std::span<const std::uint8_t> file, const unlha::MemberInfo& m) {
  const auto method = methodOf(m.method);
  if (!method || m.originalSize > (1u << 20)) return;
  const std::span<const std::uint8_t> packed = file.subspan(m.dataOffset, m.packedSize);
  try {
    lzh::Decoder decoder(*method,
                         [packed, at = std::size_t{0}](std::span<std::uint8_t> buf) mutable {
                           const std::size_t n = std::min(buf.size(), packed.size() - at);
                           std::memcpy(buf.data(), packed.data() + at, n);
                           at += n;
                           return n;
                         },
                         m.packedSize, m.originalSize);
    std::vector<std::uint8_t> out(4096);
    std::uint64_t total = 0;
    while (const std::size_t n = decoder.read(out)) total += n;
    check(total == m.originalSize, "a member decodes to its size");
  } catch (const lzh::FormatError&) {
  }
}

void parseAll(std::span<const std::uint8_t> file) {
  Memory memory{file};
  try {
    const std::vector<unlha::MemberInfo> members = unlha::parseArchive(readMemory, &memory, file.size());
    std::uint64_t previousEnd = 0;
    for (const unlha::MemberInfo& m : members) {
      check(m.headerOffset >= previousEnd, "members follow one another");
      check(m.headerOffset < m.dataOffset, "a header has bytes");
      check(m.dataOffset <= file.size() && m.packedSize <= file.size() - m.dataOffset,
            "member data lies inside the file");
      check(m.method.size() == 5, "a method id has five bytes");
      (void)unlha::normaliseStoredPath(m.path);
      previousEnd = m.endOffset();
      decodeMember(file, m);
    }
  } catch (const unlha::ArchiveError&) {
  }
}

}  // namespace

int archiveHeaders(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  parseAll(file);

  // Level-0 and level-1 headers carry a byte sum that random changes almost
  // always break; repair it in a copy so the fields behind it get explored.
  if (size > 22 && data[0] >= 22 && size >= 2u + data[0] && (data[20] == 0 || data[20] == 1)) {
    std::vector<std::uint8_t> fixed(data, data + size);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < 2u + data[0]; ++i) sum = static_cast<std::uint8_t>(sum + fixed[i]);
    if (fixed[1] != sum) {
      fixed[1] = sum;
      parseAll(fixed);
    }
  }
  return 0;
}

}  // namespace vedo::fuzz
