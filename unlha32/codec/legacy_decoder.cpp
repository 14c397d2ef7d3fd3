// Decoders of the older methods, on the input and output buffers of
// decoder_impl.h:
//
//   -lh1-  4 KiB dictionary, matches of 3 to 60 bytes. Literals and match
//          lengths share one adaptive Huffman code of 314 symbols that starts
//          with every symbol equally likely and follows their counts (the
//          tree keeps its nodes ordered by weight; a symbol's count goes up
//          after each use, and all counts are halved when the root reaches
//          0x8000). A distance is a fixed code for its top 6 bits, then the
//          low 6 bits as they are.
//   -lh2-  8 KiB dictionary. Literals, lengths 3 to 31 and an escape
//          (symbol 285, followed by 8 bits for longer lengths) share one
//          adaptive code of 286 symbols, as in -lh1-. The top 7 bits of a
//          distance have an adaptive code of their own that starts with the
//          one symbol 0 and gains symbol k once more than 64k bytes are out
//          (no distance can reach further before); the low 6 bits follow as
//          they are.
//   -lh3-  8 KiB dictionary. Blocks of static Huffman codes: 286 symbols
//          (literals, lengths 3 to 31, and symbol 285 followed by 8 bits for
//          longer ones), each sent as a presence bit and a 4-bit length; the
//          distance code over the top 7 bits either sent as 4-bit lengths or
//          a fixed code. The low 6 bits follow as they are.
//   -lzs-  LZSS of 2 KiB: a flag bit, then a literal byte, or an 11-bit
//          position in the ring buffer and a 4-bit length (2 to 17).
//   -lz5-  LZSS of 4 KiB on whole bytes: a flag byte for the next eight
//          items (low bit first), then a literal byte, or two bytes holding a
//          12-bit ring position and a 4-bit length (3 to 18).
//
// The LZSS methods address the ring buffer, whose writing starts 17 (-lzs-)
// or 18 (-lz5-) bytes before its end; the ring position becomes a distance
// from the current byte. The old writers let matches reach before the start
// of the data, into the ring's initial contents: spaces, and for -lz5- a
// fixed pattern. Those contents sit in the output buffer in front of the
// member's first byte, so every distance up to the dictionary size is valid.
//
// Every item produces at least one byte, and a match is cut at the member's
// end, so a hostile stream cannot run the decoder past the member or keep it
// busy without output; reading past the packed data is FormatError, as for
// the other methods.

#include <array>

#include "unlha32/codec/decoder_impl.h"

namespace lzh {
namespace detail {
namespace {

constexpr std::size_t kLegacySlack = 512;  // a match started at the buffer's end, plus copyMatch's overshoot

// An adaptive Huffman code (-lh1-, -lh2-). Nodes are kept in an array
// ordered by weight, lightest first, the root last and a parent after its
// children; an internal node's children sit side by side (the first for a 0
// bit), a leaf holds the complement of its symbol. After a symbol is decoded
// its leaf and every node above it gain one; a node whose weight would pass
// the node after it first trades places (with its subtree) with the last node
// of its old weight, which keeps the order.
//
// The literal/length code starts with every symbol at weight one and halves
// all weights once the root reaches 0x8000. The distance code of -lh2- starts
// with one symbol and grows (addSymbol): the lightest leaf splits into itself
// and the new symbol at weight zero, which then counts one use. Once its root
// has children it has no weight of its own (a count of uses takes its place
// for the halving); while it is the only leaf its weight counts its uses.
class AdaptiveCode {
 public:
  enum class Kind { Full, Growing };

  AdaptiveCode(int symbols, Kind kind)
      : kind_(kind),
        freq_(2 * symbols),
        child_(2 * symbols - 1),
        parent_(2 * symbols - 1),
        leaf_(symbols) {
    if (kind == Kind::Growing) {
      nodes_ = 1;
      freq_[0] = 1;
      child_[0] = ~0;
      leaf_[0] = 0;
    } else {
      nodes_ = 2 * symbols - 1;
      for (int i = 0; i < symbols; ++i) {
        freq_[i] = 1;
        child_[i] = ~i;
        leaf_[i] = i;
      }
      for (int i = 0, j = symbols; j < nodes_; i += 2, ++j) {
        freq_[j] = freq_[i] + freq_[i + 1];
        child_[j] = i;
        parent_[i] = parent_[i + 1] = j;
      }
    }
    freq_[nodes_] = 0xFFFF;  // stops the search for the last node of a weight
  }

  // Walks from the root, one bit per level.
  int decode(DecoderCore& d) {
    int c = child_[nodes_ - 1];
    while (c >= 0) {
      if (d.bitCount == 0) d.refill();
      c = child_[c + static_cast<int>(d.bits(1))];
    }
    const int sym = ~c;
    update(sym);
    return sym;
  }

  // Growing code only: adds symbol `sym`, once.
  void addSymbol(int sym) {
    if (nodes_ + 2 > static_cast<int>(child_.size())) return;
    std::copy_backward(freq_.begin(), freq_.begin() + nodes_ + 1, freq_.begin() + nodes_ + 3);
    std::copy_backward(child_.begin(), child_.begin() + nodes_, child_.begin() + nodes_ + 2);
    std::copy_backward(parent_.begin(), parent_.begin() + nodes_, parent_.begin() + nodes_ + 2);
    nodes_ += 2;
    for (int i = 2; i < nodes_; ++i) {
      if (child_[i] >= 0) child_[i] += 2;
      parent_[i] += 2;
    }
    for (int& node : leaf_) node += 2;
    // The lightest node (a leaf) becomes the parent of the new symbol and of itself.
    child_[0] = ~sym;
    freq_[0] = 0;
    leaf_[sym] = 0;
    child_[1] = child_[2];
    freq_[1] = freq_[2];
    leaf_[~child_[1]] = 1;
    parent_[0] = parent_[1] = 2;
    child_[2] = 0;
    if (nodes_ == 3) freq_[2] = 0xFFFF;
    update(sym);
  }

 private:
  void update(int sym) {
    const int root = nodes_ - 1;
    if (kind_ == Kind::Full ? freq_[root] == 0x8000 : uses_ == 0x8000) rebuild();
    int c = leaf_[sym];
    if (kind_ == Kind::Growing && nodes_ == 1) ++freq_[0];
    while (kind_ == Kind::Full || c != root) {
      const std::uint32_t k = ++freq_[c];
      if (k > freq_[c + 1]) {
        int l = c + 1;
        while (k > freq_[l + 1]) ++l;
        freq_[c] = freq_[l];
        freq_[l] = static_cast<std::uint16_t>(k);
        const int i = child_[c];
        const int j = child_[l];
        child_[l] = i;
        adopt(i, l);
        child_[c] = j;
        adopt(j, c);
        c = l;
      }
      if (c == root) break;
      c = parent_[c];
    }
    ++uses_;
  }

  // Points the parent links of node content `content` (children, or a leaf's symbol) at `node`.
  void adopt(int content, int node) {
    if (content >= 0) {
      parent_[content] = parent_[content + 1] = node;
    } else {
      leaf_[~content] = node;
    }
  }

  // Halves every leaf's weight (rounding up) and rebuilds the tree from the
  // leaves in their current order: each new node goes after every node that
  // is not heavier.
  void rebuild() {
    int leaves = 0;
    for (int i = 0; i < nodes_; ++i) {
      if (child_[i] < 0) {
        freq_[leaves] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
        child_[leaves] = child_[i];
        ++leaves;
      }
    }
    for (int i = 0, node = leaves; node < nodes_; i += 2, ++node) {
      const std::uint32_t f = freq_[i] + freq_[i + 1];
      int k = node - 1;
      while (f < freq_[k]) --k;
      ++k;
      std::copy_backward(freq_.begin() + k, freq_.begin() + node, freq_.begin() + node + 1);
      std::copy_backward(child_.begin() + k, child_.begin() + node, child_.begin() + node + 1);
      freq_[k] = static_cast<std::uint16_t>(f);
      child_[k] = i;
    }
    for (int i = 0; i < nodes_; ++i) adopt(child_[i], i);
    if (kind_ == Kind::Growing) {
      uses_ = freq_[nodes_ - 1];
      if (nodes_ > 1) freq_[nodes_ - 1] = 0xFFFF;
    }
  }

  Kind kind_;
  int nodes_ = 0;
  std::uint32_t uses_ = 0;  // growing code: uses since the last halving
  std::vector<std::uint16_t> freq_;
  std::vector<int> child_;
  std::vector<int> parent_;
  std::vector<int> leaf_;
};

// Code lengths of a fixed distance code: `first` bits for symbol 0, one bit
// more at each symbol listed in `steps`.
template <std::size_t N>
void fixedLengths(int first, const std::array<int, N>& steps, int n, std::uint8_t* lens) {
  int len = first;
  std::size_t s = 0;
  for (int i = 0; i < n; ++i) {
    while (s < N && steps[s] == i) {
      ++len;
      ++s;
    }
    lens[i] = static_cast<std::uint8_t>(len);
  }
}

constexpr int kLh1Symbols = 256 + 60 - 3 + 1;  // literals and lengths 3..60
constexpr int kLh3Symbols = 286;                // literals, lengths 3..31, and the escape
constexpr int kLh3Escape = 285;                 // followed by 8 bits: lengths 32..287
constexpr int kLh3Positions = 128;              // top 7 bits of a distance below 8 KiB

}  // namespace

struct LegacyState {
  explicit LegacyState(Method m)
      : chars(m == Method::Lh1 ? kLh1Symbols : m == Method::Lh2 ? kLh3Symbols : 1, AdaptiveCode::Kind::Full),
        positions(m == Method::Lh2 ? kLh3Positions : 1, AdaptiveCode::Kind::Growing) {}

  AdaptiveCode chars;                 // -lh1-, -lh2-
  AdaptiveCode positions;             // -lh2-
  std::uint64_t nextSymbolAt = 64;    // -lh2-: output size past which the next distance symbol is added
  HuffmanTable cTable{12};            // -lh3-
  HuffmanTable pTable{8};             // -lh1-, -lh3-
  std::uint32_t blockLeft = 0;        // -lh3-: items left in the block
  unsigned flags = 0;                 // -lz5-: flag bits left, above a marker bit
};

void LegacyStateDeleter::operator()(LegacyState* s) const { delete s; }

namespace {

int dictionaryBits(Method m) {
  switch (m) {
    case Method::Lzs: return 11;
    case Method::Lh1:
    case Method::Lz5: return 12;
    default: return 13;
  }
}

// The ring buffer of LArc before the first byte: for each byte value 13
// copies of it, then 0..255, 255..0, 128 zeros, 110 spaces and 18 zeros. The
// ring writes from position 4078, so the byte `d` back from the start is at
// ring position (4078 - d) mod 4096.
void fillLz5Ring(std::uint8_t* ring) {
  std::size_t p = 0;
  for (int v = 0; v < 256; ++v)
    for (int k = 0; k < 13; ++k) ring[p++] = static_cast<std::uint8_t>(v);
  for (int v = 0; v < 256; ++v) ring[p++] = static_cast<std::uint8_t>(v);
  for (int v = 0; v < 256; ++v) ring[p++] = static_cast<std::uint8_t>(255 - v);
  std::memset(ring + p, 0, 128);
  p += 128;
  std::memset(ring + p, ' ', 110);
  p += 110;
  std::memset(ring + p, 0, 4096 - p);
}

// Decodes items from `next` until the buffer is full or the member is
// complete. `next(loc, &dist, &len)` gets the member offset of the item's
// first byte and returns a literal, or -1 for a match of `len` bytes from
// `dist` (1..window) back.
template <class Next>
void decodeItems(DecoderCore& d, Next next) {
  std::uint8_t* const o = d.out.data();
  const std::size_t start = d.wpos;  // below capacity: the buffer slides before a call
  std::size_t w = start;
  const std::uint64_t left = d.outLeft;
  // Member sizes are 64-bit: the count of bytes left stays a count, never an end position.
  const std::size_t stop = start + static_cast<std::size_t>(std::min<std::uint64_t>(left, d.capacity - start));
  const std::uint64_t base = d.produced - start;  // member offset of o[0], modulo 2^64
  while (w < stop) {
    if (d.bitCount < 48) d.refill();
    std::uint32_t dist = 0;
    std::uint32_t len = 0;
    const int lit = next(base + w, &dist, &len);
    if (lit >= 0) {
      o[w++] = static_cast<std::uint8_t>(lit);
      continue;
    }
    len = static_cast<std::uint32_t>(std::min<std::uint64_t>(len, left - (w - start)));
    copyMatch(o + w, dist, len);
    w += len;
  }
  d.produced += w - start;
  d.outLeft = left - (w - start);
  d.wpos = w;
  if (d.outLeft == 0 && d.padBits > d.bitCount) corrupt("truncated");
}

// Distance from the byte at member offset `loc` back to ring position `pos`
// of a ring of 1 << bits bytes whose writing starts `lead` bytes before its
// end. Position 0 back is the whole ring back: the byte about to be replaced.
inline std::uint32_t ringDistance(std::uint64_t loc, std::uint32_t pos, int bits, std::uint32_t lead) {
  const std::uint32_t mask = (1u << bits) - 1;
  const std::uint32_t at = static_cast<std::uint32_t>(loc - lead) & mask;
  const std::uint32_t dist = (at - pos) & mask;
  return dist == 0 ? mask + 1 : dist;
}

void readLh3Block(DecoderCore& d, LegacyState& s) {
  s.blockLeft = d.readBits(16);
  if (s.blockLeft == 0) corrupt("empty block");
  std::uint8_t lens[kLh3Symbols] = {};
  bool single = false;
  for (int i = 0; i < kLh3Symbols && !single; ++i) {
    d.refill();
    lens[i] = d.bits(1) ? static_cast<std::uint8_t>(d.bits(4) + 1) : 0;
    // Three one-bit codes cannot be: they announce a table of one symbol.
    if (i == 2 && lens[0] == 1 && lens[1] == 1 && lens[2] == 1) {
      const std::uint32_t sym = d.bits(9);
      if (sym >= kLh3Symbols) corrupt("bad table");
      s.cTable.setSingle(static_cast<int>(sym));
      single = true;
    }
  }
  if (!single) s.cTable.build(lens, kLh3Symbols);

  std::uint8_t plens[kLh3Positions] = {};
  if (d.readBits(1)) {
    for (int i = 0; i < kLh3Positions; ++i) {
      d.refill();
      plens[i] = static_cast<std::uint8_t>(d.bits(4));
      if (i == 2 && plens[0] == 1 && plens[1] == 1 && plens[2] == 1) {
        s.pTable.setSingle(static_cast<int>(d.bits(7)));
        return;
      }
    }
  } else {
    fixedLengths(2, std::array{1, 1, 3, 6, 13, 31, 78}, kLh3Positions, plens);
  }
  s.pTable.build(plens, kLh3Positions);
}

}  // namespace
}  // namespace detail

void detail::DecoderCore::startLegacy() {
  window = std::size_t{1} << dictionaryBits(method);
  capacity = window + static_cast<std::size_t>(std::min<std::uint64_t>(kOutputChunk, outLeft));
  out.resize(capacity + kLegacySlack);
  if (method == Method::Lz5) {
    std::uint8_t ring[4096];
    fillLz5Ring(ring);
    for (std::size_t back = 1; back <= window; ++back) out[window - back] = ring[(4078 - back) & 4095];
  } else {
    std::memset(out.data(), ' ', window);
  }
  wpos = rpos = window;
  in.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, packedLeft)) + 8);
  legacy.reset(new LegacyState(method));
  if (method == Method::Lh1) {
    std::uint8_t lens[64];
    fixedLengths(3, std::array{1, 4, 12, 24, 48}, 64, lens);
    legacy->pTable.build(lens, 64);
  }
}

void detail::DecoderCore::decodeLegacySome() {
  LegacyState& s = *legacy;
  DecoderCore& d = *this;
  switch (method) {
    case Method::Lzs:
      decodeItems(d, [&](std::uint64_t loc, std::uint32_t* dist, std::uint32_t* len) {
        if (d.bits(1)) return static_cast<int>(d.bits(8));
        *dist = ringDistance(loc, d.bits(11), 11, 17);
        *len = d.bits(4) + 2;
        return -1;
      });
      break;
    case Method::Lz5:
      decodeItems(d, [&](std::uint64_t loc, std::uint32_t* dist, std::uint32_t* len) {
        if (s.flags <= 1) s.flags = d.bits(8) | 0x100;
        const bool literal = s.flags & 1;
        s.flags >>= 1;
        if (literal) return static_cast<int>(d.bits(8));
        const std::uint32_t lo = d.bits(8);
        const std::uint32_t hi = d.bits(8);
        *dist = ringDistance(loc, lo | (hi & 0xF0) << 4, 12, 18);
        *len = (hi & 0x0F) + 3;
        return -1;
      });
      break;
    case Method::Lh1:
      decodeItems(d, [&](std::uint64_t, std::uint32_t* dist, std::uint32_t* len) {
        const int c = s.chars.decode(d);
        if (c < 256) return c;
        if (d.bitCount < 14) d.refill();
        const std::uint32_t top = d.decode(s.pTable);
        *dist = (top << 6 | d.bits(6)) + 1;
        *len = static_cast<std::uint32_t>(c) - 256 + 3;
        return -1;
      });
      break;
    case Method::Lh2:
      decodeItems(d, [&](std::uint64_t loc, std::uint32_t* dist, std::uint32_t* len) {
        std::uint32_t c = static_cast<std::uint32_t>(s.chars.decode(d));
        if (d.bitCount < 8) d.refill();
        if (c == kLh3Escape) c += d.bits(8);
        if (c < 256) return static_cast<int>(c);
        // Distance symbol k (distances from 64k + 1) exists once more than 64k bytes are out.
        while (loc > s.nextSymbolAt) {
          s.positions.addSymbol(static_cast<int>(s.nextSymbolAt / 64));
          s.nextSymbolAt = s.nextSymbolAt + 64 < 8192 ? s.nextSymbolAt + 64 : ~std::uint64_t{0};
        }
        const std::uint32_t top = static_cast<std::uint32_t>(s.positions.decode(d));
        if (d.bitCount < 6) d.refill();
        *dist = (top << 6 | d.bits(6)) + 1;
        *len = c - 256 + 3;
        return -1;
      });
      break;
    case Method::Lh3:
      decodeItems(d, [&](std::uint64_t, std::uint32_t* dist, std::uint32_t* len) {
        if (s.blockLeft == 0) {
          readLh3Block(d, s);
          d.refill();
        }
        --s.blockLeft;
        std::uint32_t c = d.decode(s.cTable);
        if (c == kLh3Escape) c += d.bits(8);
        if (c < 256) return static_cast<int>(c);
        const std::uint32_t top = d.decode(s.pTable);
        *dist = (top << 6 | d.bits(6)) + 1;
        *len = c - 256 + 3;
        return -1;
      });
      break;
    default:
      corrupt("unknown method");
  }
}

}  // namespace lzh
