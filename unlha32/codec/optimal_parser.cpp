#include "unlha32/codec/optimal_parser.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "unlha32/codec/block_writer.h"

namespace lzh::detail {
namespace {

// Positions per stretch. Longer stretches lose less where a stretch ends (no
// item crosses it) but take up the price model's changes later; between
// 4096 and 32768 the size hardly moves.
constexpr std::int32_t kStretch = 8192;

// Items the price model remembers: when the recent counts pass this, they
// are halved, so older items weigh less. About a block's worth.
constexpr std::uint32_t kRecentItems = 1u << 15;

constexpr std::int32_t kUnreached = 0x7FFFFFFF;

// Prices are in sixteenths of a bit.
constexpr std::int32_t kBit = 16;

// Marks, in m_.firstMatch, a position inside a long match: its one entry, the
// long match going on, is tried at its whole length only.
constexpr std::uint32_t kWholeOnly = 0x80000000u;

// 16 * log2(x) for x >= 1, from the top five bits of x.
std::int32_t log2Sixteenths(std::uint32_t x) {
  static constexpr std::uint8_t kFraction[16] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15};
  const int top = std::bit_width(x) - 1;
  const std::uint32_t fraction = (top >= 4 ? x >> (top - 4) : x << (4 - top)) & 15;
  return top * kBit + kFraction[fraction];
}

// What each symbol of `counts` costs in an ideal code for them: log2 of the
// total over the symbol's count. A symbol the counts lack is priced as half
// a count, and no price passes the longest code the format allows.
void entropyPrices(const std::uint32_t* counts, int n, std::int32_t* prices) {
  std::uint32_t total = 0;
  for (int i = 0; i < n; ++i) total += counts[i];
  const std::int32_t whole = log2Sixteenths(2 * total + 1);
  for (int i = 0; i < n; ++i) {
    const std::int32_t price = whole - log2Sixteenths(counts[i] != 0 ? 2 * counts[i] : 1);
    prices[i] = std::clamp(price, kBit / 2, kMaxCodeLen * kBit);
  }
}

// Four costs or steps at once: the compiler's vector types, which every
// target lowers to its own vector instructions (or to plain ones).
using Lanes = std::int32_t __attribute__((vector_size(16)));
using StepLanes = std::uint32_t __attribute__((vector_size(16)));

template <typename V, typename T>
V loadLanes(const T* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename V, typename T>
void storeLanes(T* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

void OptimalParser::Counts::count(const Item& item) {
  // Without a branch on literal or match, which no predictor gets right: a
  // literal's value (its byte) names a position code too, counted by 0.
  const bool isMatch = item.length != 0;
  ++items;
  ++symbol[isMatch ? matchSymbol(item.length) : item.value];
  position[bitLength(item.value)] += isMatch;
}

void OptimalParser::Counts::halve() {
  for (std::uint32_t& c : symbol) c = (c + 1) / 2;
  for (std::uint32_t& c : position) c = (c + 1) / 2;
  items /= 2;
}

OptimalParser::OptimalParser(const Shape& shape, std::uint32_t depth, std::uint32_t nice, Memory memory)
    : shape_(shape), depth_(depth), nice_(nice), m_(std::move(memory)) {}

void OptimalParser::pricesFrom(const Counts& counts) {
  entropyPrices(counts.symbol, kNC, prices_.symbol);
  entropyPrices(counts.position, shape_.np, prices_.position);
  // A position code p > 1 is followed by p - 1 plain bits of the distance.
  for (int p = 2; p < shape_.np; ++p) prices_.position[p] += (p - 1) * kBit;
}

// The counts of a plain parse (always the longest match) of the stretch's
// n positions: a first price model where no items came before.
void OptimalParser::greedyCounts(std::int32_t n) {
  for (std::int32_t i = 0; i < n;) {
    const std::uint32_t first = m_.firstMatch[static_cast<std::size_t>(i)] & ~kWholeOnly;
    const std::uint32_t last = m_.firstMatch[static_cast<std::size_t>(i) + 1] & ~kWholeOnly;
    const std::uint32_t length =
        first == last ? 0 : std::min<std::uint32_t>(m_.matches[last - 1].length, static_cast<std::uint32_t>(n - i));
    if (length >= kMinMatch) {
      recent_.count({static_cast<std::uint16_t>(length), m_.matches[last - 1].distanceLess1});
      i += static_cast<std::int32_t>(length);
    } else {
      recent_.count({0, 0});  // which byte does not matter for a first guess
      ++i;
    }
  }
}

// Finds the cheapest items through the stretch's n positions (in[0..n)) under
// prices_ into m_.items.
void OptimalParser::shortestPath(const std::uint8_t* in, std::int32_t n) {
  // Three entries more than positions: the last four lengths a match tries
  // may reach past the stretch (masked off).
  const auto size = static_cast<std::size_t>(n) + 1 + 3;
  m_.cost.assign(size, kUnreached);
  m_.step.resize(size);
  m_.cost[0] = 0;
  const std::int32_t* lengthPrice = prices_.symbol + 256 - kMinMatch;
  for (std::int32_t i = 0; i < n; ++i) {
    const std::size_t at = static_cast<std::size_t>(i);
    std::int32_t* cost = m_.cost.data() + at;
    std::uint32_t* step = m_.step.data() + at;
    const std::int32_t base = cost[0];
    const std::int32_t literal = base + prices_.symbol[in[i]];
    // Stored either way (a branch here would be mispredicted often).
    const bool cheaper = literal < cost[1];
    cost[1] = cheaper ? literal : cost[1];
    step[1] = cheaper ? std::uint32_t{in[i]} << 16 : step[1];
    const std::uint32_t room = static_cast<std::uint32_t>(n - i);
    const std::uint32_t first = m_.firstMatch[at];
    const std::uint32_t last = m_.firstMatch[at + 1] & ~kWholeOnly;
    if (first & kWholeOnly) {
      if ((first & ~kWholeOnly) == last) continue;
      // Inside a long match: only the match going on, at its whole length.
      const MatchFinder::Match m = m_.matches[last - 1];
      const std::uint32_t len = std::min<std::uint32_t>(m.length, room);
      const std::int32_t c = base + prices_.position[bitLength(m.distanceLess1)] + lengthPrice[len];
      if (len >= kMinMatch && c < cost[len]) {
        cost[len] = c;
        step[len] = (std::uint32_t{m.distanceLess1} << 16) | len;
      }
      continue;
    }
    std::uint32_t from = kMinMatch;
    for (std::uint32_t k = first; k < last && from <= room; ++k) {
      const MatchFinder::Match m = m_.matches[k];
      const std::uint32_t to = std::min<std::uint32_t>(m.length, room);
      const std::int32_t withDistance = base + prices_.position[bitLength(m.distanceLess1)];
      const std::uint32_t packed = std::uint32_t{m.distanceLess1} << 16;
      // Every length from `from` to `to` of this match, four at a time (the
      // lanes past `to` of the last four are masked off).
      const Lanes lanes = Lanes{0, 1, 2, 3};
      for (std::uint32_t len = from; len <= to; len += 4) {
        const Lanes c = withDistance + loadLanes<Lanes>(lengthPrice + len);
        const Lanes old = loadLanes<Lanes>(cost + len);
        const Lanes better = (c < old) & (lanes + static_cast<std::int32_t>(len) <= static_cast<std::int32_t>(to));
        storeLanes(cost + len, (c & better) | (old & ~better));
        const StepLanes fresh = StepLanes{0, 1, 2, 3} + (packed | len);
        const auto mask = std::bit_cast<StepLanes>(better);
        storeLanes(step + len, (fresh & mask) | (loadLanes<StepLanes>(step + len) & ~mask));
      }
      from = to + 1;
    }
  }
  m_.items.clear();
  for (std::size_t i = static_cast<std::size_t>(n); i > 0;) {
    const Item s{static_cast<std::uint16_t>(m_.step[i] & 0xFFFF), static_cast<std::uint16_t>(m_.step[i] >> 16)};
    m_.items.push_back(s);
    i -= s.length != 0 ? s.length : 1;
  }
  std::reverse(m_.items.begin(), m_.items.end());
}

std::int32_t OptimalParser::chooseStretch(const std::uint8_t* in, std::int32_t cur, std::int32_t limit,
                                          std::int32_t end, MatchFinder& finder) {
  const std::int32_t n = std::min(limit - cur, kStretch);
  m_.firstMatch.resize(static_cast<std::size_t>(n) + 1);
  // Room for the most entries a position can list (one per chain candidate
  // and the three-byte one, or kMaxMatch when fewer), for every position.
  const std::size_t perPosition = std::min<std::size_t>(depth_ + 1, kMaxMatch);
  const std::size_t room = static_cast<std::size_t>(n) * perPosition;
  if (m_.matchCapacity < room) {
    m_.matches.reset(new MatchFinder::Match[room]);
    m_.matchCapacity = room;
  }
  std::uint32_t used = 0;
  std::int32_t longEnd = 0;  // end of the long match the positions are in, if any
  std::uint16_t longDistance = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t p = cur + i;
    m_.firstMatch[static_cast<std::size_t>(i)] = used;
    const auto maxLen = static_cast<std::uint32_t>(std::min(kMaxMatch, end - p));
    if (maxLen < 4) continue;
    if (p < longEnd - 1) {
      // Inside a long match: searching here would mostly find it again.
      finder.skip(in, p, 1);
      m_.firstMatch[static_cast<std::size_t>(i)] |= kWholeOnly;
      if (longEnd - p >= kMinMatch) m_.matches[used++] = {static_cast<std::uint16_t>(longEnd - p), longDistance};
      continue;
    }
    const std::uint32_t listed = finder.allMatches(in, p, maxLen, maxLen, depth_, m_.matches.get() + used);
    used += listed;
    if (listed != 0 && m_.matches[used - 1].length >= std::min(nice_, maxLen)) {
      longEnd = p + m_.matches[used - 1].length;
      longDistance = m_.matches[used - 1].distanceLess1;
    }
  }
  m_.firstMatch[static_cast<std::size_t>(n)] = used;

  if (!primed_) {
    greedyCounts(n);
    primed_ = true;
  }
  pricesFrom(recent_);
  shortestPath(in + cur, n);
  for (const Item& item : m_.items) recent_.count(item);
  if (recent_.items > kRecentItems) recent_.halve();
  return cur + n;
}

}  // namespace lzh::detail
