// The decoder for -lh0- (stored) and -lh5-/-lh6-/-lh7-.
//
// Packed bytes come from the source in chunks into an input buffer; a 64-bit
// bit buffer is refilled from it eight bytes at a time where possible. Past
// the end of the packed data the refill supplies zero bits and counts them: a
// decoder that consumes any of them has read a truncated or corrupt stream.
//
// Decoded bytes go into a buffer that keeps the dictionary behind the current
// position plus a chunk of new bytes; read() hands them out from there, and
// when everything decoded has been handed out and the buffer is full, the
// last dictionary's worth moves to the front.
//
// Huffman codes are canonical, so a table is rebuilt from its lengths: a
// direct lookup table resolves codes of up to kLookupBits bits in one step;
// longer (rare) codes are resolved by walking the per-length first codes.
//
// Every value read from the stream is checked before it is used: table sizes,
// code lengths, an over-full set of lengths, zero runs past the table, a code
// with no symbol, a distance reaching before the start of the member, a match
// running past the member's size, a block count of zero. Each of them raises
// FormatError; each block produces at least one byte, so a hostile stream
// cannot keep the decoder busy without output.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lzh_codec.h"
#include "lzh_format.h"

namespace lzh {
namespace detail {
namespace {

class HuffmanTable {
 public:
  explicit HuffmanTable(int lookupBits) : bits_(lookupBits), lookup_(std::size_t{1} << lookupBits) {}

  void setSingle(int sym) {
    single_ = true;
    singleSym_ = static_cast<std::uint16_t>(sym);
  }

  // Builds the table for lens[0..n); throws when the lengths over-fill the code space.
  void build(const std::uint8_t* lens, int n) {
    single_ = false;
    unsigned count[kMaxCodeLen + 1] = {};
    for (int i = 0; i < n; ++i) ++count[lens[i]];
    count[0] = 0;
    std::uint32_t kraft = 0;
    for (int l = 1; l <= kMaxCodeLen; ++l) kraft += count[l] << (kMaxCodeLen - l);
    if (kraft > (1u << kMaxCodeLen)) throw FormatError("LZH data corrupt: bad Huffman table");
    unsigned code = 0;
    unsigned index = 0;
    unsigned next[kMaxCodeLen + 1] = {};
    for (int l = 1; l <= kMaxCodeLen; ++l) {
      code = (code + count[l - 1]) << 1;
      next[l] = code;
      firstCode_[l] = code;
      firstIndex_[l] = index;
      count_[l] = count[l];
      index += count[l];
    }
    std::fill(lookup_.begin(), lookup_.end(), 0);
    unsigned slot[kMaxCodeLen + 1];
    for (int l = 1; l <= kMaxCodeLen; ++l) slot[l] = firstIndex_[l];
    for (int sym = 0; sym < n; ++sym) {
      const int l = lens[sym];
      if (l == 0) continue;
      sorted_[slot[l]++] = static_cast<std::uint16_t>(sym);
      const unsigned c = next[l]++;
      if (l <= bits_) {
        const std::uint32_t entry = static_cast<std::uint32_t>(sym) | (static_cast<std::uint32_t>(l) << 16);
        const unsigned first = c << (bits_ - l);
        const unsigned span = 1u << (bits_ - l);
        std::fill_n(lookup_.begin() + first, span, entry);
      } else {
        lookup_[c >> (l - bits_)] = kLong;
      }
    }
  }

  bool single() const { return single_; }
  std::uint16_t singleSymbol() const { return singleSym_; }
  int lookupBits() const { return bits_; }
  std::uint32_t entry(std::uint32_t prefix) const { return lookup_[prefix]; }

  // Resolves a code longer than the lookup bits from the next 16 bits.
  // Returns (symbol | length << 16) or 0 when no symbol has that code.
  std::uint32_t slow(std::uint32_t next16) const {
    for (int l = bits_ + 1; l <= kMaxCodeLen; ++l) {
      const std::uint32_t c = next16 >> (kMaxCodeLen - l);
      const std::uint32_t k = c - firstCode_[l];
      if (k < count_[l]) return sorted_[firstIndex_[l] + k] | (static_cast<std::uint32_t>(l) << 16);
    }
    return 0;
  }

  static constexpr std::uint32_t kLong = 0xFFu << 16;

 private:
  int bits_;
  bool single_ = false;
  std::uint16_t singleSym_ = 0;
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

[[noreturn]] void corrupt(const char* what) { throw FormatError(std::string("LZH data corrupt: ") + what); }

}  // namespace
}  // namespace detail

using namespace detail;

struct Decoder::Impl {
  Impl(Method m, ByteSource s, std::uint64_t packedSize, std::uint64_t originalSize)
      : method(m),
        source(std::move(s)),
        packedLeft(packedSize),
        outLeft(originalSize),
        shape(shapeOf(m)),
        cTable(kCLookupBits),
        tTable(kPLookupBits),
        pTable(kPLookupBits) {
    if (m != Method::Lh0) {
      window = std::size_t{1} << shape.dictBits;
      capacity = window + kOutputChunk;
      out.resize(capacity + kMaxMatch + 16);
      in.resize(kInputChunk + 8);
    }
  }

  // --- bit input ---

  bool fetch() {
    if (packedLeft == 0) return false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(packedLeft, kInputChunk));
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
    if (padBits) {
      if (padBits > bitCount) corrupt("truncated");
    }
    while (bitCount < 56) {
      if (inEnd - inPos >= 8) {
        std::uint64_t v = 0;
        for (int k = 0; k < 8; ++k) v = (v << 8) | in[inPos + static_cast<std::size_t>(k)];
        bitBuf |= v >> bitCount;
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
    if (t.single()) return t.singleSymbol();
    std::uint32_t e = t.entry(peek(static_cast<unsigned>(t.lookupBits())));
    if (e == HuffmanTable::kLong) e = t.slow(peek(kMaxCodeLen));
    if (e == 0) corrupt("invalid code");
    consume(e >> 16);
    return e & 0xFFFF;
  }

  // --- block headers ---

  void readPtLengths(HuffmanTable& t, int nsym, int countBits, int special) {
    const int n = static_cast<int>(readBits(static_cast<unsigned>(countBits)));
    if (n == 0) {
      const int sym = static_cast<int>(readBits(static_cast<unsigned>(countBits)));
      if (sym >= nsym) corrupt("bad table");
      t.setSingle(sym);
      return;
    }
    if (n > nsym) corrupt("bad table size");
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
    const int n = static_cast<int>(readBits(kCBits));
    if (n == 0) {
      const int sym = static_cast<int>(readBits(kCBits));
      if (sym >= kNC) corrupt("bad table");
      cTable.setSingle(sym);
      return;
    }
    if (n > kNC) corrupt("bad table size");
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
    std::uint8_t* const o = out.data();
    while (wpos < capacity && outLeft > 0) {
      if (blockLeft == 0) startBlock();
      --blockLeft;
      refill();
      const std::uint32_t c = decode(cTable);
      if (c < 256) {
        o[wpos++] = static_cast<std::uint8_t>(c);
        --outLeft;
        ++produced;
        continue;
      }
      const std::uint32_t len = c - 256 + kMinMatch;
      refill();
      const std::uint32_t p = decode(pTable);
      std::uint32_t dist = p;
      if (p > 1) dist = (1u << (p - 1)) + bits(p - 1);
      ++dist;
      if (dist > produced) corrupt("distance before the start of the data");
      if (len > outLeft) corrupt("match past the end of the data");
      const std::uint8_t* src = o + wpos - dist;
      std::uint8_t* dst = o + wpos;
      if (dist >= 8) {
        for (std::uint32_t k = 0; k < len; k += 8) std::memcpy(dst + k, src + k, 8);
      } else {
        for (std::uint32_t k = 0; k < len; ++k) dst[k] = src[k];
      }
      wpos += len;
      outLeft -= len;
      produced += len;
    }
    if (outLeft == 0 && padBits > bitCount) corrupt("truncated");
  }

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
};

Decoder::Decoder(Method method, ByteSource source, std::uint64_t packedSize, std::uint64_t originalSize)
    : impl_(new Impl(method, std::move(source), packedSize, originalSize)) {}

Decoder::~Decoder() { delete impl_; }

std::size_t Decoder::read(std::span<std::uint8_t> out) {
  if (impl_->method == Method::Lh0) return impl_->readStored(out);
  return impl_->readPacked(out);
}

}  // namespace lzh
