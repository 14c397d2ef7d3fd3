#pragma once
// Near-optimal parsing for the large dictionaries (-lh6-, -lh7-).
//
// The lazy parser decides one position at a time; this one decides a whole
// stretch of positions at once. It lists every useful match at each position
// of the stretch (each longer than the ones before it, at the nearest
// distance found), then finds the cheapest way through the stretch as a
// shortest path: from each position, a literal or any length of any listed
// match leads further on, and what each costs is its code length in bits
// under a price model. The model comes from the symbol counts of the items
// chosen lately (older ones weigh less), close to the counts the block's
// Huffman codes will be built from, so the prices follow the data as it
// changes. (Parsing each stretch twice, the second time with the first
// pass's counts added, saved under 0.05% for 15% more time.)
//
// Inside a match of `nice` bytes or more no position is searched: each gets
// that match going on as its one entry, tried at its whole length only.
// Searching there mostly finds the same match again, and in long repeats
// listing every length at every position is what costs the most time.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "unlha32/codec/lzh_format.h"
#include "unlha32/codec/match_finder.h"

namespace lzh::detail {

class OptimalParser {
 public:
  // One item of the chosen path: a literal (length 0, value the byte) or a
  // match (value the distance less one).
  struct Item {
    std::uint16_t length;
    std::uint16_t value;
  };

  // Working memory, kept between parsers (see EncoderWorkspace) so that a
  // folder of small members does not allocate and clear it per member.
  struct Memory {
    std::vector<std::uint32_t> firstMatch;
    std::unique_ptr<MatchFinder::Match[]> matches;  // left uninitialised: written before read
    std::size_t matchCapacity = 0;
    std::vector<std::int32_t> cost;
    std::vector<std::uint32_t> step;
    std::vector<Item> items;
  };

  // `depth`: chain candidates per search. At the positions inside a match
  // of `nice` bytes or more, no search is made and only that match going on
  // is tried. `memory`: left over from an earlier parser (see release()).
  OptimalParser(const Shape& shape, std::uint32_t depth, std::uint32_t nice, Memory memory);

  // Gives the memory back; the parser is unusable after.
  Memory release() { return std::move(m_); }

  // Chooses the items for the stretch from `cur` (below `limit`) and returns
  // where the stretch ends (at most `limit`); items() holds its items until
  // the next call. The finder searches with bytes up to `end`, but no item
  // passes the stretch's end; every position of the stretch is given to the
  // finder except the last three before `end`, too short for a match.
  std::int32_t chooseStretch(const std::uint8_t* in, std::int32_t cur, std::int32_t limit, std::int32_t end,
                             MatchFinder& finder);
  std::span<const Item> items() const { return m_.items; }

 private:
  // Sixteenths of a bit each symbol costs: literal/length symbols, then
  // position codes with their extra bits.
  struct Prices {
    std::int32_t symbol[kNC + 3];  // three more, read for the longest lengths' lanes and masked off
    std::int32_t position[kMaxNP];
  };
  struct Counts {
    std::uint32_t symbol[kNC] = {};
    std::uint32_t position[kMaxNP] = {};
    std::uint32_t items = 0;
    void count(const Item& item);
    void halve();
  };

  void pricesFrom(const Counts& counts);
  void greedyCounts(std::int32_t n);
  void shortestPath(const std::uint8_t* in, std::int32_t n);

  Shape shape_;
  std::uint32_t depth_;
  std::uint32_t nice_;
  Prices prices_ = {};
  Counts recent_;  // the items chosen lately (halved as they age)
  bool primed_ = false;
  // Per stretch position, in m_.firstMatch: where its entries start in
  // m_.matches (one more at the end), with a mark for the positions inside a
  // long match. m_.step: the last item of the cheapest path to each
  // position: its length, plus the distance less one (or the literal) times
  // 65536.
  Memory m_;
};

}  // namespace lzh::detail
