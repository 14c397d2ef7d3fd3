#pragma once
// The decoder's state, shared by decoder.cpp (-lh0-, -lh5-/-lh6-/-lh7-) and
// legacy_decoder.cpp (the older methods): the bit input over the packed data,
// the output buffer that keeps the dictionary, and canonical Huffman tables.
// Only the two decoder sources include this.

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "unlha32/codec/lzh_codec.h"
#include "unlha32/codec/lzh_format.h"

namespace lzh {
namespace detail {

class HuffmanTable {
 public:
  // `memory`: a lookup table to reuse (what it holds is never read before it
  // is built or set).
  explicit HuffmanTable(int lookupBits, std::vector<std::uint32_t> memory = {})
      : bits_(lookupBits), lookup_(std::move(memory)) {
    lookup_.resize(std::size_t{1} << lookupBits);
  }

  // Gives the lookup table's memory back; the table is unusable after.
  std::vector<std::uint32_t> release() { return std::move(lookup_); }

  // Every code is `sym`, taking no bits.
  void setSingle(int sym) { std::fill(lookup_.begin(), lookup_.end(), static_cast<std::uint32_t>(sym) << 8); }

  // Builds the table for lens[0..n); throws when the lengths over-fill the code space.
  void build(const std::uint8_t* lens, int n) {
    unsigned count[kMaxCodeLen + 1] = {};
    for (int i = 0; i < n; ++i) ++count[lens[i]];
    count[0] = 0;
    std::uint32_t kraft = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) kraft += count[l] << (kMaxCodeLen - l);
    if (kraft > (1u << kMaxCodeLen)) throw FormatError("LZH data corrupt: bad Huffman table");
    unsigned code = 0;
    unsigned index = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) {
      code = (code + count[l - 1]) << 1;
      firstCode_[l] = code;
      firstIndex_[l] = index;
      count_[l] = count[l];
      index += count[l];
    }
    // A complete code covers every entry below (a short code its range, a
    // long one the entry of its first bits); only an incomplete set of
    // lengths leaves entries that no code reaches.
    if (kraft != (1u << kMaxCodeLen)) std::fill(lookup_.begin(), lookup_.end(), kInvalid);
    // The symbols in code order: by length, then by symbol (the unused ones
    // after them all), placed without a test on whether a symbol is used.
    unsigned slot[kMaxCodeLen + 1];
    slot[0] = index;
    for (int l = 1; l <= kMaxCodeLen; ++l) slot[l] = firstIndex_[l];
    for (int sym = 0; sym < n; ++sym) sorted_[slot[lens[sym]]++] = static_cast<std::uint16_t>(sym);
    // Then the entries a length at a time: every code of one length covers
    // as many entries, so the fill's length is the same all through it.
    for (int l = 1; l <= kMaxCodeLen; ++l) {
      const std::uint16_t* syms = sorted_ + firstIndex_[l];
      for (unsigned k = 0; k < count_[l]; ++k) {
        const unsigned c = firstCode_[l] + k;
        if (l <= bits_) {
          const std::uint32_t entry = (static_cast<std::uint32_t>(syms[k]) << 8) | static_cast<std::uint32_t>(l);
          std::fill_n(lookup_.begin() + (c << (bits_ - l)), 1u << (bits_ - l), entry);
        } else {
          lookup_[c >> (l - bits_)] = kLong;
        }
      }
    }
  }

  int lookupBits() const { return bits_; }
  // Entries: symbol << 8 | code length (the length in the low byte, so that
  // the decoder shifts its bit buffer by the entry as it is); a length above
  // lookupBits() marks kLong (resolve with slow()) or kInvalid (no symbol has
  // this code).
  const std::uint32_t* lookup() const { return lookup_.data(); }

  // Resolves a code longer than the lookup bits from the next 16 bits.
  // Returns (symbol << 8 | length) or kInvalid.
  std::uint32_t slow(std::uint32_t next16) const {
    for (int l = bits_ + 1; l <= kMaxCodeLen; ++l) {
      const std::uint32_t c = next16 >> (kMaxCodeLen - l);
      const std::uint32_t k = c - firstCode_[l];
      if (k < count_[l]) return (static_cast<std::uint32_t>(sorted_[firstIndex_[l] + k]) << 8) | static_cast<std::uint32_t>(l);
    }
    return kInvalid;
  }

  static constexpr std::uint32_t kLong = 0xFF;
  static constexpr std::uint32_t kInvalid = 0xFE;

 private:
  int bits_;
  std::vector<std::uint32_t> lookup_;
  std::uint32_t firstCode_[kMaxCodeLen + 1] = {};
  std::uint32_t firstIndex_[kMaxCodeLen + 1] = {};
  std::uint32_t count_[kMaxCodeLen + 1] = {};
  std::uint16_t sorted_[kNC] = {};
};

// Lookup bits of the three tables: the literal/length table sees by far the
// most codes; wider tables cost their fill time at every block.
constexpr int kCLookupBits = 12;
constexpr int kPLookupBits = 8;

// Bytes requested from the source at a time.
constexpr std::size_t kInputChunk = 1 << 16;

// Decoded bytes buffered beyond the dictionary before the buffer slides.
constexpr std::size_t kOutputChunk = 1 << 18;

inline std::uint64_t loadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

[[noreturn]] void corrupt(const char* what);

// Copies a match of `len` bytes from `dist` bytes back to `dst`. Whole 16- or
// 8-byte pieces may write up to 29 bytes past the match (into bytes decoded
// next, or the buffer's slack); a piece never reads bytes it writes while dist
// is at least its size.
inline void copyMatch(std::uint8_t* dst, std::uint32_t dist, std::uint32_t len) {
  const std::uint8_t* src = dst - dist;
  if (dist >= 16) {
    // Most matches are short: two pieces without a loop test first.
    std::memcpy(dst, src, 16);
    std::memcpy(dst + 16, src + 16, 16);
    for (std::uint32_t k = 32; k < len; k += 16) std::memcpy(dst + k, src + k, 16);
  } else if (dist >= 8) {
    for (std::uint32_t k = 0; k < len; k += 8) std::memcpy(dst + k, src + k, 8);
  } else if (dist == 1) {
    std::memset(dst, *src, len);
  } else {
    for (std::uint32_t k = 0; k < len; ++k) dst[k] = src[k];
  }
}


// The methods decoded by legacy_decoder.cpp.
constexpr bool isLegacy(Method m) {
  return m == Method::Lh1 || m == Method::Lh2 || m == Method::Lh3 || m == Method::Lzs || m == Method::Lz5;
}

struct LegacyState;
struct LegacyStateDeleter {
  void operator()(LegacyState* s) const;
};

}  // namespace detail

struct DecoderWorkspace::Storage {
  std::vector<std::uint8_t> in;
  std::vector<std::uint8_t> out;
  std::vector<std::uint32_t> cLookup;
  std::vector<std::uint32_t> tLookup;
  std::vector<std::uint32_t> pLookup;
};

namespace detail {

struct DecoderCore {
  // `storage`: a workspace's memory to borrow, or null. The buffers keep
  // what an earlier member left in them: every byte handed out is decoded
  // first, and match copies read only bytes decoded before them.
  DecoderCore(Method m, ByteSource s, std::uint64_t packedSize, std::uint64_t originalSize,
              DecoderWorkspace::Storage* storage)
      : method(m),
        source(std::move(s)),
        packedLeft(packedSize),
        outLeft(originalSize),
        shape(shapeOf(m)),
        borrowed(storage),
        in(storage ? std::move(storage->in) : std::vector<std::uint8_t>{}),
        out(storage ? std::move(storage->out) : std::vector<std::uint8_t>{}),
        cTable(kCLookupBits, storage ? std::move(storage->cLookup) : std::vector<std::uint32_t>{}),
        tTable(kPLookupBits, storage ? std::move(storage->tLookup) : std::vector<std::uint32_t>{}),
        pTable(kPLookupBits, storage ? std::move(storage->pLookup) : std::vector<std::uint32_t>{}) {
    if (isLegacy(m)) {
      startLegacy();
    } else if (m != Method::Lh0) {
      // Buffers are sized to the member when it is small: no slide is
      // needed when the whole member fits.
      window = std::size_t{1} << shape.dictBits;
      capacity = static_cast<std::size_t>(std::min<std::uint64_t>(window + kOutputChunk, originalSize));
      // The slack takes a match started just before `capacity` and the
      // copy's rounding up to 32 bytes.
      out.resize(capacity + kMaxMatch + 32);
      in.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, packedSize)) + 8);
    } else {
      out.clear();  // sized to the member at its first read (viewStored)
    }
  }

  // Hands borrowed memory back to the workspace.
  ~DecoderCore() {
    if (!borrowed) return;
    borrowed->in = std::move(in);
    borrowed->out = std::move(out);
    borrowed->cLookup = cTable.release();
    borrowed->tLookup = tTable.release();
    borrowed->pLookup = pTable.release();
  }
  DecoderCore(const DecoderCore&) = delete;
  DecoderCore& operator=(const DecoderCore&) = delete;

  // --- bit input ---

  bool fetch() {
    if (packedLeft == 0) return false;
    const std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(std::min<std::uint64_t>(packedLeft, kInputChunk)), in.size() - 8);
    const std::size_t got = source(std::span<std::uint8_t>(in.data(), want));
    if (got == 0 || got > want) {
      packedLeft = 0;
      return false;
    }
    packedLeft -= got;
    inPos = 0;
    inEnd = got;
    return true;
  }

  // Makes at least 56 bits available (zero bits past the end of the data).
  void refill() {
    if (padBits > bitCount) corrupt("truncated");
    while (bitCount < 56) {
      if (inEnd - inPos >= 8) {
        bitBuf |= loadBigEndian64(in.data() + inPos) >> bitCount;
        inPos += (63 - bitCount) >> 3;
        bitCount |= 56;
      } else if (inPos < inEnd) {
        bitBuf |= static_cast<std::uint64_t>(in[inPos++]) << (56 - bitCount);
        bitCount += 8;
      } else if (!fetch()) {
        padBits += 8;
        bitCount += 8;
      }
    }
  }

  std::uint32_t peek(unsigned n) const { return static_cast<std::uint32_t>(bitBuf >> (64 - n)); }
  void consume(unsigned n) {
    bitBuf <<= n;
    bitCount -= n;
  }
  // n in 1..16; call refill() first (once per 56 bits).
  std::uint32_t bits(unsigned n) {
    const std::uint32_t v = peek(n);
    consume(n);
    return v;
  }
  std::uint32_t readBits(unsigned n) {
    refill();
    return bits(n);
  }

  std::uint32_t decode(const HuffmanTable& t) {
    const int lookupBits = t.lookupBits();
    std::uint32_t e = t.lookup()[peek(static_cast<unsigned>(lookupBits))];
    if ((e & 0xFF) > static_cast<std::uint32_t>(lookupBits)) {
      if (e == HuffmanTable::kLong) e = t.slow(peek(kMaxCodeLen));
      if (e == HuffmanTable::kInvalid) corrupt("invalid code");
    }
    consume(e & 0xFF);
    return e >> 8;
  }

  // --- block headers ---

  // Reads a table's symbol count of `countBits` bits. A count of 0 is
  // followed by the table's one symbol, which `t` then gives without reading
  // a bit; the count returned is then 0 and no lengths follow.
  int readCount(HuffmanTable& t, int nsym, unsigned countBits) {
    const int n = static_cast<int>(readBits(countBits));
    if (n == 0) {
      const int sym = static_cast<int>(readBits(countBits));
      if (sym >= nsym) corrupt("bad table");
      t.setSingle(sym);
    } else if (n > nsym) {
      corrupt("bad table size");
    }
    return n;
  }

  void readPtLengths(HuffmanTable& t, int nsym, int countBits, int special) {
    const int n = readCount(t, nsym, static_cast<unsigned>(countBits));
    if (n == 0) return;
    std::uint8_t lens[kNT] = {};
    int i = 0;
    while (i < n) {
      refill();
      unsigned len = bits(3);
      if (len == 7) {
        while (bits(1)) {
          if (++len > kMaxCodeLen) corrupt("bad code length");
        }
      }
      lens[i++] = static_cast<std::uint8_t>(len);
      if (i == special) {
        const int zeros = static_cast<int>(bits(2));
        i = std::min(n, i + zeros);
      }
    }
    t.build(lens, nsym);
  }

  void readCLengths() {
    const int n = readCount(cTable, kNC, kCBits);
    if (n == 0) return;
    std::uint8_t lens[kNC] = {};
    int i = 0;
    while (i < n) {
      refill();
      const std::uint32_t c = decode(tTable);
      if (c <= 2) {
        const int run = c == 0 ? 1 : c == 1 ? static_cast<int>(bits(4)) + 3 : static_cast<int>(bits(kCBits)) + 20;
        if (run > n - i) corrupt("bad table");
        i += run;  // lens[] is zero already
      } else {
        lens[i++] = static_cast<std::uint8_t>(c - 2);
      }
    }
    cTable.build(lens, kNC);
  }

  void startBlock() {
    blockLeft = readBits(16);
    if (blockLeft == 0) corrupt("empty block");
    readPtLengths(tTable, kNT, kTBits, kTSpecial);
    readCLengths();
    readPtLengths(pTable, shape.np, shape.pBits, -1);
  }

  // --- decoding ---

  // Decodes items until the output buffer is full or the member is complete.
  void decodeSome() {
    if (legacy) {
      decodeLegacySome();
    } else {
      decodeBlocksSome();
    }
  }
  // -lh5-, -lh6-, -lh7- (decoder.cpp).
  void decodeBlocksSome();
  // The older methods (legacy_decoder.cpp): their state and buffers.
  void startLegacy();
  void decodeLegacySome();


  std::size_t readPacked(std::span<std::uint8_t> dst) {
    std::size_t n = 0;
    while (n < dst.size()) {
      if (rpos < wpos) {
        const std::size_t k = std::min(dst.size() - n, wpos - rpos);
        std::memcpy(dst.data() + n, out.data() + rpos, k);
        rpos += k;
        n += k;
        continue;
      }
      if (outLeft == 0) break;
      if (wpos >= capacity) {
        std::memmove(out.data(), out.data() + wpos - window, window);
        wpos = rpos = window;
      }
      decodeSome();
    }
    return n;
  }

  std::span<const std::uint8_t> viewPacked() {
    if (rpos == wpos) {
      if (outLeft == 0) return {};
      if (wpos >= capacity) {
        std::memmove(out.data(), out.data() + wpos - window, window);
        wpos = rpos = window;
      }
      decodeSome();
    }
    const std::span<const std::uint8_t> view(out.data() + rpos, wpos - rpos);
    rpos = wpos;
    return view;
  }

  std::span<const std::uint8_t> viewStored() {
    if (out.empty()) out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, outLeft)) + 1);
    return std::span<const std::uint8_t>(out.data(), readStored(out));
  }

  std::size_t readStored(std::span<std::uint8_t> dst) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(dst.size(), outLeft));
    std::size_t n = 0;
    while (n < want) {
      const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(want - n, packedLeft));
      const std::size_t got = ask ? source(dst.subspan(n, ask)) : 0;
      if (got == 0 || got > ask) corrupt("truncated");
      packedLeft -= got;
      outLeft -= got;
      n += got;
    }
    return n;
  }

  Method method;
  ByteSource source;
  std::uint64_t packedLeft;  // packed bytes not yet taken from the source
  std::uint64_t outLeft;     // bytes not yet decoded
  std::uint64_t produced = 0;
  Shape shape;
  DecoderWorkspace::Storage* borrowed;

  std::vector<std::uint8_t> in;
  std::size_t inPos = 0;
  std::size_t inEnd = 0;
  std::uint64_t bitBuf = 0;
  unsigned bitCount = 0;
  unsigned padBits = 0;

  std::vector<std::uint8_t> out;
  std::size_t window = 0;
  std::size_t capacity = 0;
  std::size_t wpos = 0;
  std::size_t rpos = 0;

  std::uint32_t blockLeft = 0;
  HuffmanTable cTable;
  HuffmanTable tTable;
  HuffmanTable pTable;

  std::unique_ptr<LegacyState, LegacyStateDeleter> legacy;
};

}  // namespace detail
}  // namespace lzh
