#pragma once
// Hash-chain match finder.
//
// Every position is linked into a chain of earlier positions whose next four
// bytes hash alike (head_ holds the newest position per hash, prev_ the link
// from each position to the one before it, indexed modulo the window so the
// table stays window-sized). A search walks the chain newest first, so the
// first candidates are the nearest, cheapest distances, and stops after
// `depth` candidates or once a match reaches `nice` bytes. Three-byte matches,
// the format's shortest, are found through a separate one-entry-per-bucket
// table: chaining them would lengthen every chain for matches that rarely pay.
//
// Positions are int32 offsets into the encoder's buffer. When the encoder
// slides its buffer it calls rebase(), which moves every stored position down;
// positions pushed below the window become kNil and end any chain walk.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace lzh::detail {

inline std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline std::uint64_t load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Length of the common prefix of a and b, from `len` up to `maxLen`.
inline std::uint32_t extendMatch(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t len,
                                 std::uint32_t maxLen) {
  if constexpr (std::endian::native == std::endian::little) {
    while (len + 8 <= maxLen) {
      const std::uint64_t x = load64(a + len) ^ load64(b + len);
      if (x) return len + static_cast<std::uint32_t>(std::countr_zero(x) >> 3);
      len += 8;
    }
  }
  while (len < maxLen && a[len] == b[len]) ++len;
  return len;
}

class MatchFinder {
 public:
  // Far below any position less the window, and its four bytes are alike, so
  // that clearing a table is one memset (a fill with another value is a loop
  // of single stores, which a folder of small files pays once per member).
  static constexpr std::uint8_t kNilByte = 0xC0;
  static constexpr std::int32_t kNil = static_cast<std::int32_t>(0xC0C0C0C0u);

  // A three-byte match is taken at any distance in the dictionary. A short
  // match far away can cost more bits (length code, position code, up to 15
  // raw distance bits) than the three literals it replaces; but with lazy
  // evaluation behind it, a limit only lost ratio in measurements (the
  // three-byte match mostly serves as the bar a longer match one byte later
  // must clear). (The test of such a limit, always passed, also cost a
  // branch mispredicted at every third position of binary data.)

  // `windowBits`: log2 of the dictionary (the farthest distance);
  // `chainBits`: log2 of the chain table, at most windowBits, smaller only
  // when the whole input is known to be shorter (no position then shares a
  // chain slot); `hashOrder`: log2 of the four-byte hash table (bigger means
  // shorter, more precise chains but a larger table to clear and rebase);
  // `hash3Order`: log2 of the three-byte table, one entry per bucket (bigger
  // finds more short matches and meets fewer false candidates, for more
  // cache misses).
  // `tables`: memory to use (its contents are reset here), left over from an
  // earlier finder so that its allocation is reused; see release().
  struct Tables {
    std::vector<std::int32_t> head;
    std::vector<std::int32_t> hash3;
    std::vector<std::int32_t> prev;
  };
  MatchFinder(int windowBits, int chainBits, int hashOrder, int hash3Order, Tables tables = {})
      : geometry_{(1u << chainBits) - 1, 32 - hashOrder, 32 - hash3Order},
        maxDistance_(static_cast<std::int32_t>((1u << windowBits) - 1)),
        head_(std::move(tables.head)),
        hash3_(std::move(tables.hash3)),
        prev_(std::move(tables.prev)) {
    clear(head_, std::size_t{1} << hashOrder);
    clear(hash3_, std::size_t{1} << hash3Order);
    clear(prev_, std::size_t{1} << chainBits);
  }

  // The chain mask and the hash shifts as the searches use them: Geometry
  // holds the finder's own; a FixedGeometry has them as constants, for a
  // caller that knows the tables' sizes (every large -lh5- input has the
  // same). A shift by a constant is one micro-operation, where a shift by a
  // register is two or three on x86, its count first moved into CL; with the
  // mask a constant too, 3% of -lh5-'s time.
  struct Geometry {
    std::uint32_t mask;
    int hashShift;
    int hash3Shift;
  };
  template <int ChainBits, int HashOrder, int Hash3Order>
  struct FixedGeometry {
    static constexpr std::uint32_t mask = (1u << ChainBits) - 1;
    static constexpr int hashShift = 32 - HashOrder;
    static constexpr int hash3Shift = 32 - Hash3Order;
  };

  // Whether this finder's tables are those of geometry G.
  template <class G>
  bool has() const {
    return geometry_.mask == G::mask && geometry_.hashShift == G::hashShift && geometry_.hash3Shift == G::hash3Shift;
  }

  // Gives the tables' memory back for another finder; this one is unusable after.
  Tables release() { return {std::move(head_), std::move(hash3_), std::move(prev_)}; }

  // Subtracts `delta` from every stored position (the buffer moved down by delta).
  // Taken eight at a time, the loop compiles to vector instructions (one by
  // one, the rebase of a large input's tables after every chunk cost 5% of
  // -lh5-'s time); the encoder's tables hold at least 256 entries, a power
  // of two, so the tail loop is there for other sizes only.
  void rebase(std::int32_t delta) {
    for (auto* table : {&head_, &hash3_, &prev_}) {
      std::int32_t* v = table->data();
      const std::size_t size = table->size();
      std::size_t i = 0;
      for (; i + 8 <= size; i += 8) {
        for (std::size_t k = 0; k < 8; ++k) v[i + k] = std::max(v[i + k] - delta, kNil);
      }
      for (; i < size; ++i) v[i] = std::max(v[i] - delta, kNil);
    }
  }

  // Inserts `pos` and returns the length of the longest match (> bestLen, at
  // most maxLen, maxLen >= 4) with its distance in *distance; returns bestLen
  // when there is none longer. in[pos + maxLen] must be readable (slack).
  // G: Geometry, or a FixedGeometry that has() holds for.
  template <class G = Geometry>
  std::uint32_t longestMatch(const std::uint8_t* in, std::int32_t pos, std::uint32_t maxLen,
                             std::uint32_t nice, std::uint32_t depth, std::uint32_t bestLen,
                             std::uint32_t* distance) {
    const std::uint8_t* cur = in + pos;
    const std::int32_t cutoff = pos - maxDistance_;  // candidates must be >= cutoff
    const G g = geometry<G>();
    const std::uint32_t seq = load32(cur);
    const auto [c3, head] = insert(g, cur, pos, seq);
    std::int32_t c = head;
    if (bestLen >= maxLen) return bestLen;
    nice = std::min(nice, maxLen);

    if (bestLen < 3 && c3 >= cutoff && in[c3] == cur[0] && in[c3 + 1] == cur[1] && in[c3 + 2] == cur[2]) {
      bestLen = 3;
      *distance = static_cast<std::uint32_t>(pos - c3);
    }
    if (c < cutoff || depth == 0) return bestLen;

    if (bestLen < 4) {
      while (load32(in + c) != seq) {
        c = prev_[static_cast<std::uint32_t>(c) & g.mask];
        if (c < cutoff || --depth == 0) return bestLen;
      }
      bestLen = extendMatch(cur, in + c, 4, maxLen);
      *distance = static_cast<std::uint32_t>(pos - c);
      if (bestLen >= nice) return bestLen;
      c = prev_[static_cast<std::uint32_t>(c) & g.mask];
      if (c < cutoff || --depth == 0) return bestLen;
    }
    for (;;) {
      const std::uint8_t* m = in + c;
      if (load32(m + bestLen - 3) == load32(cur + bestLen - 3) && load32(m) == seq) {
        const std::uint32_t len = extendMatch(cur, m, 4, maxLen);
        if (len > bestLen) {
          bestLen = len;
          *distance = static_cast<std::uint32_t>(pos - c);
          if (len >= nice) break;
        }
      }
      c = prev_[static_cast<std::uint32_t>(c) & g.mask];
      if (c < cutoff || --depth == 0) break;
    }
    return bestLen;
  }

  // A match of `length` bytes at `distance` (both >= 1).
  struct Match {
    std::uint16_t length;
    std::uint16_t distanceLess1;  // distance - 1: the largest dictionary's fits
  };

  // Inserts `pos` and lists in `out` every match that is longer than the ones
  // before it in the list (at least three bytes, at most maxLen, maxLen >= 4),
  // each at the nearest distance found for its length; returns the count. A
  // length between two entries is found at the longer entry's distance.
  // The walk stops after `depth` chain candidates or at a match of `nice`
  // bytes. At most min(depth + 1, maxLen - 2) entries are written to `out`.
  // in[pos + maxLen] must be readable (slack).
  std::uint32_t allMatches(const std::uint8_t* in, std::int32_t pos, std::uint32_t maxLen, std::uint32_t nice,
                           std::uint32_t depth, Match* out) {
    const std::uint8_t* cur = in + pos;
    const std::int32_t cutoff = pos - maxDistance_;
    const Geometry g = geometry<Geometry>();
    const std::uint32_t seq = load32(cur);
    const auto [c3, head] = insert(g, cur, pos, seq);
    std::int32_t c = head;
    nice = std::min(nice, maxLen);

    std::uint32_t n = 0;
    std::uint32_t best = 2;
    if (c3 >= cutoff && in[c3] == cur[0] && in[c3 + 1] == cur[1] && in[c3 + 2] == cur[2]) {
      best = extendMatch(cur, in + c3, 3, maxLen);
      out[n++] = {static_cast<std::uint16_t>(best), static_cast<std::uint16_t>(pos - c3 - 1)};
      if (best >= nice) return n;
    }
    for (; c >= cutoff && depth != 0; c = prev_[static_cast<std::uint32_t>(c) & g.mask], --depth) {
      const std::uint8_t* m = in + c;
      if (m[best] != cur[best] || load32(m) != seq) continue;
      const std::uint32_t len = extendMatch(cur, m, 4, maxLen);
      if (len <= best) continue;
      // A longer match at a distance no farther than earlier, shorter ones
      // (only the three-byte table's can be) makes those useless.
      const auto distanceLess1 = static_cast<std::uint16_t>(pos - c - 1);
      while (n > 0 && out[n - 1].distanceLess1 >= distanceLess1) --n;
      out[n++] = {static_cast<std::uint16_t>(len), distanceLess1};
      best = len;
      if (len >= nice) break;
    }
    return n;
  }

  // Starts loading the buckets a search at `pos` will read, so that their
  // cache misses overlap other work. (Reads in[pos + 3], which may be the
  // buffer's slack.) insert() has the same three lines: called from there
  // through one shared helper, they made -lh5- 4% slower.
  template <class G = Geometry>
  void prefetch(const std::uint8_t* in, std::int32_t pos) const {
    const G g = geometry<G>();
    const std::uint32_t seq = load32(in + pos);
    __builtin_prefetch(&head_[hash4(g, seq)]);
    __builtin_prefetch(&hash3_[hash3(g, seq)]);
  }

  // Inserts positions [pos, pos + count) without searching (the bytes a match covers).
  template <class G = Geometry>
  void skip(const std::uint8_t* in, std::int32_t pos, std::int32_t count) {
    const G g = geometry<G>();
    for (std::int32_t p = pos; p < pos + count; ++p) {
      const std::uint32_t seq = load32(in + p);
      hash3_[hash3(g, seq)] = p;
      const std::uint32_t h4 = hash4(g, seq);
      prev_[static_cast<std::uint32_t>(p) & g.mask] = head_[h4];
      head_[h4] = p;
    }
  }

 private:
  struct Heads {
    std::int32_t three;  // the newest earlier position of the three-byte bucket
    std::int32_t four;   // the newest earlier position of the four-byte chain
  };

  // Inserts `pos` (at `cur`, its first four bytes `seq`) into both tables
  // and returns what their buckets held before.
  template <class G>
  Heads insert(const G& g, const std::uint8_t* cur, std::int32_t pos, std::uint32_t seq) {
    const std::uint32_t h3 = hash3(g, seq);
    const std::uint32_t h4 = hash4(g, seq);
    const Heads heads{hash3_[h3], head_[h4]};
    hash3_[h3] = pos;
    head_[h4] = pos;
    prev_[static_cast<std::uint32_t>(pos) & g.mask] = heads.four;
    // The next search is almost always for pos + 1: start loading its
    // buckets now, so the cache misses overlap this search. (Reads up to one
    // byte past the data, into the buffer's slack.)
    const std::uint32_t nextSeq = load32(cur + 1);
    __builtin_prefetch(&head_[hash4(g, nextSeq)]);
    __builtin_prefetch(&hash3_[hash3(g, nextSeq)]);
    return heads;
  }

  // Makes `table` `size` entries of kNil.
  static void clear(std::vector<std::int32_t>& table, std::size_t size) {
    table.resize(size);
    std::memset(table.data(), kNilByte, size * sizeof(std::int32_t));
  }

  // The geometry as a local: a copy kept in registers, where the members
  // would be read again after every store into the tables (they may alias).
  template <class G>
  G geometry() const {
    if constexpr (std::is_same_v<G, Geometry>) {
      return geometry_;
    } else {
      return G{};
    }
  }

  template <class G>
  static std::uint32_t hash4(const G& g, std::uint32_t seq) {
    return (seq * 0x1E35A7BDu) >> g.hashShift;
  }
  template <class G>
  static std::uint32_t hash3(const G& g, std::uint32_t seq) {
    return ((seq & 0x00FFFFFFu) * 0x1E35A7BDu) >> g.hash3Shift;
  }

  Geometry geometry_;
  std::int32_t maxDistance_;
  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> hash3_;
  std::vector<std::int32_t> prev_;
};

}  // namespace lzh::detail
