#include "unlha32/codec/block_writer.h"

#include "unlha32/codec/hot_clones.h"
#include "unlha32/codec/huffman.h"

namespace lzh::detail {
namespace {

// Gives `used` and a neighbour one-bit codes. The format could send a table
// with one used symbol as that bare symbol, but one widespread reader rejects
// a stream whose first block does so for the temp or the C table; a one-bit
// code per item costs next to nothing and every reader takes it.
void useTwoSymbols(std::uint8_t* lens, int used) {
  lens[used] = 1;
  lens[used == 0 ? 1 : used - 1] = 1;
}

// Walks the C table's lengths lens[0..n) as temp-table symbols: k + 2 for a
// length k; for runs of zero lengths 0 (one zero), 1 (3..18 zeros, 4 extra
// bits) or 2 (20 and more, 9 extra bits), with 19 zeros sent as 0 then 1.
// Calls emit(symbol, extra bit count, extra bits).
template <typename Emit>
void forEachTempSymbol(const std::uint8_t* lens, int n, Emit&& emit) {
  for (int i = 0; i < n;) {
    const int k = lens[i++];
    if (k != 0) {
      emit(k + 2, 0, 0);
      continue;
    }
    std::uint32_t run = 1;
    while (i < n && lens[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (std::uint32_t r = 0; r < run; ++r) emit(0, 0, 0);
    } else if (run <= 18) {
      emit(1, 4, run - 3);
    } else if (run == 19) {
      emit(0, 0, 0);
      emit(1, 4, 15);
    } else {
      emit(2, kCBits, run - 20);
    }
  }
}

}  // namespace

// Temp and position tables: a count, then each length in 3 bits, lengths of 7
// and more as 7 followed by (length - 7) one bits and a zero bit. In the temp
// table, after the third length, 2 bits tell how many of the next three
// lengths are zero (those are skipped).
void BlockWriter::writePtLengths(BitWriter& out, const std::uint8_t* lens, int n, int countBits,
                                 int special) {
  while (n > 0 && lens[n - 1] == 0) --n;
  out.put(static_cast<unsigned>(countBits), static_cast<std::uint32_t>(n));
  int i = 0;
  while (i < n) {
    const unsigned k = lens[i++];
    if (k <= 6) {
      out.put(3, k);
    } else {
      out.put(k - 3, (1u << (k - 3)) - 2);
    }
    if (i == special) {
      while (i < 6 && i < n && lens[i] == 0) ++i;
      out.put(2, static_cast<std::uint32_t>(i - special));
    }
  }
}

LZH_HOT_CLONES void BlockWriter::flush(BitWriter& out) {
  if (count_ == 0) return;
  // Upper bound of the block's size: tables, then at most 16 + 16 + 15 bits per item.
  out.reserve(2048 + static_cast<std::size_t>(count_) * 6);
  out.put(16, static_cast<std::uint32_t>(count_));

  int single = 0;
  if (buildLengths(cFreq_, kNC, kMaxCodeLen, cLen_, &single) < 2) useTwoSymbols(cLen_, single);
  canonicalCodes(cLen_, kNC, cCode_);
  int n = kNC;
  while (n > 0 && cLen_[n - 1] == 0) --n;

  // The C table's lengths are sent with the temp code: first count its
  // symbols over the same walk that writes them.
  std::uint32_t tFreq[kNT] = {};
  forEachTempSymbol(cLen_, n, [&](int sym, unsigned, std::uint32_t) { ++tFreq[sym]; });
  int tSingle = 0;
  if (buildLengths(tFreq, kNT, kMaxCodeLen, tLen_, &tSingle) < 2) useTwoSymbols(tLen_, tSingle);
  canonicalCodes(tLen_, kNT, tCode_);
  writePtLengths(out, tLen_, kNT, kTBits, kTSpecial);
  out.put(kCBits, static_cast<std::uint32_t>(n));
  forEachTempSymbol(cLen_, n, [&](int sym, unsigned extraBits, std::uint32_t extra) {
    out.put(tLen_[sym], tCode_[sym]);
    if (extraBits) out.put(extraBits, extra);
  });

  int pSingle = 0;
  if (buildLengths(pFreq_, shape_.np, kMaxCodeLen, pLen_, &pSingle) >= 2) {
    canonicalCodes(pLen_, shape_.np, pCode_);
    writePtLengths(out, pLen_, shape_.np, shape_.pBits, -1);
  } else {
    out.put(static_cast<unsigned>(shape_.pBits), 0);
    out.put(static_cast<unsigned>(shape_.pBits), static_cast<std::uint32_t>(pSingle));
    std::fill(std::begin(pLen_), std::end(pLen_), 0);
    std::fill(std::begin(pCode_), std::end(pCode_), 0);
  }

  // Each item as one put of at most 16 + 16 + 15 bits, without a branch on
  // literal or match (which no predictor gets right).
  out.alignPending();
  const std::uint32_t* items = items_;
  const std::uint8_t* cLen = cLen_;
  const std::uint16_t* cCode = cCode_;
  const std::uint8_t* pLen = pLen_;
  const std::uint16_t* pCode = pCode_;
  out.putWideEach(static_cast<std::uint32_t>(count_), [=](std::uint32_t i) {
    const std::uint32_t item = items[i];
    const std::uint32_t sym = item & 0xFFFF;
    const std::uint32_t d = item >> 16;  // 0 for a literal
    const unsigned p = bitLength(d);
    // All ones for a match, zero for a literal: the position code is read
    // either way and masked, as a conditional load compiles to a branch.
    const unsigned match = 0u - static_cast<unsigned>(sym >= 256);
    const unsigned pl = pLen[p] & match;
    const unsigned extra = p > 1 ? p - 1 : 0;  // 0 for a literal too
    std::uint64_t v = cCode[sym];
    v = (v << pl) | (pCode[p] & match);
    v = (v << extra) | (d & ((1u << extra) - 1));
    return BitWriter::Code{cLen[sym] + pl + extra, v};
  });

  count_ = 0;
  splitter_.reset();
  std::fill(std::begin(cFreq_), std::end(cFreq_), 0);
  std::fill(std::begin(pFreq_), std::end(pFreq_), 0);
}

}  // namespace lzh::detail
