#pragma once
// One block of the -lh5-/-lh6-/-lh7- bit stream: the parser hands it
// literals and matches, it counts their symbols and, when the block ends,
// writes its Huffman tables and items.
//
// A block is: a 16-bit item count; the temp table (code lengths for the code
// that sends the C table's lengths); the C table (literal/length code lengths,
// with three codes for runs of zero lengths); the position table; then the
// items. A position table with a single used symbol is sent as a count of 0
// followed by that symbol, which then takes no bits at all; the temp and C
// tables always get at least two codes.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "unlha32/codec/bit_writer.h"
#include "unlha32/codec/lzh_format.h"

namespace lzh::detail {

// Items per block. The count field holds 16 bits. Larger blocks spread the
// cost of the tables over more codes; smaller ones follow changes in the data.
inline constexpr std::uint32_t kMaxBlockItems = 65535;

// Block splitting by statistics.
//
// A block's Huffman codes fit the data it covers; when the data changes
// character (text turns into code, code into tables), a fresh block with fresh
// codes pays for its tables quickly. The writer classifies every item into a
// few coarse kinds (literals by two high bits and the low bit of the byte,
// short and long matches) and, every kObservationBatch items, compares the
// kinds of the latest batch with those of the block so far. A large enough
// difference ends the block. This costs a counter increment per item and a
// short loop per batch, far less than trying real splits.
class BlockSplitter {
 public:
  // Items per comparison: fewer react faster but judge on noisier counts.
  static constexpr std::uint32_t kObservationBatch = 512;
  // Items a block holds before a split is considered: short blocks cannot
  // earn back their tables.
  static constexpr std::uint32_t kMinBlockItems = 4096;
  // Difference (in 1/1024 of the total variation distance, which runs from 0
  // to 2048) that ends a block. Lower splits more eagerly.
  static constexpr std::uint32_t kSplitThreshold = 420;

  static constexpr int kKinds = 10;

  void literal(std::uint8_t c) { ++batch_[literalKind(c)]; }
  void match(std::uint32_t length) { ++batch_[matchKind(length)]; }
  // Either, as item() below: `value` the literal when `length` is 0.
  void item(std::uint32_t length, std::uint32_t value) {
    const std::uint32_t match = 0u - static_cast<std::uint32_t>(length != 0);  // all ones for a match
    ++batch_[(matchKind(length) & match) | (literalKind(value) & ~match)];
  }

  // Called after every item with the block's item count; true when the block should end.
  bool shouldEnd(std::uint32_t items) {
    if (items - seen_ < kObservationBatch) return false;
    const std::uint32_t fresh = items - seen_;
    bool end = false;
    if (seen_ >= kMinBlockItems) {
      std::uint64_t delta = 0;
      for (int k = 0; k < kKinds; ++k) {
        const std::int64_t a = static_cast<std::int64_t>(batch_[k]) * seen_;
        const std::int64_t b = static_cast<std::int64_t>(total_[k]) * fresh;
        delta += static_cast<std::uint64_t>(a > b ? a - b : b - a);
      }
      end = delta * 1024 > static_cast<std::uint64_t>(kSplitThreshold) * seen_ * fresh;
    }
    for (int k = 0; k < kKinds; ++k) {
      total_[k] += batch_[k];
      batch_[k] = 0;
    }
    seen_ = items;
    return end;
  }

  void reset() {
    std::fill(std::begin(total_), std::end(total_), 0);
    std::fill(std::begin(batch_), std::end(batch_), 0);
    seen_ = 0;
  }

 private:
  static std::uint32_t literalKind(std::uint32_t c) { return ((c >> 5) & 6) | (c & 1); }
  static std::uint32_t matchKind(std::uint32_t length) { return length >= 9 ? 9 : 8; }

  std::uint32_t total_[kKinds] = {};
  std::uint32_t batch_[kKinds] = {};
  std::uint32_t seen_ = 0;
};

// The bit count of v (0 for 0; v < 2^31). Written so that it needs no test
// for zero: std::bit_width compiles to a branch on it without the lzcnt
// instruction, and whether a distance code is 0 is not predictable.
inline unsigned bitLength(std::uint32_t v) { return static_cast<unsigned>(31 - std::countl_zero((v << 1) | 1)); }

class BlockWriter {
 public:
  // Memory for a block's items, handed from one writer to the next (see
  // release()). Left uninitialised: every item is written before it is read,
  // and untouched pages then cost nothing.
  struct Storage {
    std::unique_ptr<std::uint32_t[]> items;
    std::uint32_t capacity = 0;
  };

  // `maxItems`: the most items the input can give (fewer than a full block
  // for a short input, whose whole size is known). `storage`: left over from
  // an earlier writer, or empty.
  BlockWriter(const Shape& shape, std::uint32_t maxItems, Storage storage)
      : shape_(shape), storage_(std::move(storage)), limit_(std::min(maxItems, kMaxBlockItems)) {
    if (storage_.capacity < limit_) {
      storage_.items.reset(new std::uint32_t[limit_]);
      storage_.capacity = static_cast<std::uint32_t>(limit_);
    }
    items_ = storage_.items.get();
  }

  // Gives the items' memory back; the writer is unusable after.
  Storage release() {
    items_ = nullptr;
    return std::move(storage_);
  }

  // True when the block should be written now: full, or the data changed.
  bool shouldEnd() { return count_ == limit_ || splitter_.shouldEnd(static_cast<std::uint32_t>(count_)); }
  bool empty() const { return count_ == 0; }

  void literal(std::uint8_t c) {
    items_[count_++] = c;
    ++cFreq_[c];
    splitter_.literal(c);
  }
  // `distance` >= 1.
  void match(std::uint32_t length, std::uint32_t distance) {
    const std::uint32_t sym = matchSymbol(length);
    const std::uint32_t d = distance - 1;
    items_[count_++] = sym | (d << 16);
    ++cFreq_[sym];
    ++pFreq_[bitLength(d)];
    splitter_.match(length);
  }
  // A literal (`length` 0, `value` the byte) or a match (`value` its
  // distance - 1), for a parser whose items come as such pairs: no branch on
  // which it is, where literal() or match() would cost one mispredicted at
  // about every other item.
  void item(std::uint32_t length, std::uint32_t value) {
    const std::uint32_t match = 0u - static_cast<std::uint32_t>(length != 0);  // all ones for a match
    const std::uint32_t sym = (matchSymbol(length) & match) | (value & ~match);
    const std::uint32_t d = value & match;
    items_[count_++] = sym | (d << 16);
    ++cFreq_[sym];
    pFreq_[bitLength(d)] += match & 1;
    splitter_.item(length, value);
  }

  // Writes the block to `out` and starts a new one.
  void flush(BitWriter& out);

 private:
  void writePtLengths(BitWriter& out, const std::uint8_t* lens, int n, int countBits, int special);

  Shape shape_;
  BlockSplitter splitter_;
  Storage storage_;
  std::uint32_t* items_;  // storage_'s, at least limit_ long
  // Of another type than the items and counts: a store into those cannot
  // change these, so the compiler need not read them again after each one.
  std::size_t limit_;
  std::size_t count_ = 0;
  std::uint32_t cFreq_[kNC] = {};
  std::uint32_t pFreq_[kMaxNP] = {};
  std::uint8_t cLen_[kNC] = {};
  std::uint16_t cCode_[kNC] = {};
  std::uint8_t pLen_[kMaxNP] = {};
  std::uint16_t pCode_[kMaxNP] = {};
  std::uint8_t tLen_[kNT] = {};
  std::uint16_t tCode_[kNT] = {};
};

}  // namespace lzh::detail
