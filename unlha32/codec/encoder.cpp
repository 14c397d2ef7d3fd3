// The -lh5-/-lh6-/-lh7- encoder.
//
// Input is copied into a buffer that holds the dictionary plus a chunk of new
// bytes. For -lh6- and -lh7-, a near-optimal parser chooses the items of a
// stretch of positions at once (optimal_parser.h). For -lh5-, where speed
// matters more, a lazy parser walks the new bytes: at each position it asks the
// match finder for the longest earlier match, then looks one byte further; if
// the match starting there is clearly better, the current byte goes out as a
// literal and the parser moves on. Each decision becomes an item (a literal or
// a length/distance pair) in the current block, with symbol frequencies
// counted on the way. A full block is written with Huffman codes built from
// those counts. When the buffer fills up, the oldest bytes beyond the
// dictionary are dropped and the match finder's positions rebased, so memory
// stays fixed whatever the input size.
//
// The blocks themselves are block_writer.h's.

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "unlha32/codec/bit_writer.h"
#include "unlha32/codec/block_writer.h"
#include "unlha32/codec/hot_clones.h"
#include "unlha32/codec/lzh_codec.h"
#include "unlha32/codec/lzh_format.h"
#include "unlha32/codec/match_finder.h"
#include "unlha32/codec/optimal_parser.h"

namespace lzh {
namespace detail {
namespace {

// Search effort per method.
//
// Depth bounds the chain candidates examined per position: more finds longer
// and nearer matches, but the time grows with it while the gain shrinks (on
// a text and binary mix, doubling -lh5-'s depth from 64 saves under 0.1%
// for 17% more time). An input known whole and short at its first parse (a
// member of a folder of small files) gets its own depth: there the archive's
// size is the sum of many short members' tables and first matches, and a
// deeper search pays more (128 instead of 64 saves 0.2% on libstdc++'s
// headers, for about 5% more time, most of which `good` below wins back).
//
// Once the current match is `good` bytes long, the look-ahead searches (is a
// longer match one or two bytes later?) walk only a quarter of the depth: a
// match found already rarely loses to a much longer one next door. With
// -lh5-'s depth of 32 and `good` 4, large inputs take a quarter less time for
// 0.4% in size (against depth 64 and no cut); -lh7-, while it had this
// parser, kept depth 64 and cut from 8 bytes on: a sixth less time for 0.1%.
// -lh5- then went down to depth
// 16 on large inputs: 7% less time on one core for 0.25% in size, which
// still leaves it under jlha's -lh5- (24 saved 2% of the time for 0.1%),
// then to 12 with the parser flattened: 4% less time for 0.16% of the
// archive (0.997 of jlha's size; 8 would take nearly all that is left).
//
// A match of nice length or more is taken at once, without searching further
// or looking ahead: a high value squeezes the last bits out of long repeats,
// a low one saves time on them. The second look-ahead also tries a match two
// bytes later: about 0.1% on large inputs, 0.4% on a folder of C++ headers,
// for some 10% more time (measured before its cut at kLazy2Below). `lazy2`
// turns it on for large inputs; a short input known whole always gets it,
// behind matches shorter than kLazy2Below. -lh5- leaves it off on large
// inputs: on the text and binary mix, 9% fewer instructions and 7% less time
// for 0.03%.
// The values keep -lh5- about 4 times as fast as gzip -6 on one core,
// 7 times on two (bench/README.md has the latest figures).
//
// -lh6- and -lh7- use the near-optimal parser (optimal_parser.h), which
// searches every position; for it `nice` is the length from which a match's
// inner positions are not searched (see there), and `good` and `lazy2` do
// not apply. On the text and binary mix (the four-file set of
// bench/README.md, random bytes aside) depth 32 and nice 48 give 2.6% less
// than the lazy parser's best, which keeps -lh7- about 1.2 times as fast as
// gzip -6 on two cores (about 3.1 times the lazy parser's counted
// instructions and cache misses); depth 24 and nice 24 gave 2.0% at 1.6
// times gzip -6's speed, depth 48 and nice 48 2.8% at gzip -6's own.
//
// The finder's tables (log2 of their entries) are sized apart for a large
// input and, at most, for a short one, whose tables are sized to it and
// cleared once per member. A large -lh5- input gets a four-byte table of
// 2^16 and a three-byte table of 2^15 (instead of 2^15 and 2^14): fewer
// false candidates make it 2% faster on one core and 0.04% smaller, on a
// processor with 2 MiB of second-level cache per core. Short inputs keep the
// smaller tables, which clear faster (the larger made the 783 headers 1%
// slower).
struct Tuning {
  int hashOrder;
  int hash3Order;
  int shortHashOrder;
  int shortHash3Order;
  std::uint32_t depth;
  std::uint32_t shortDepth;
  std::uint32_t good;
  std::uint32_t nice;
  bool lazy2;
  bool optimal;  // the near-optimal parser (optimal_parser.h) instead of the lazy one
};

constexpr Tuning tuningOf(Method m) {
  switch (m) {
    case Method::Lh5:
      return {.hashOrder = 16, .hash3Order = 15, .shortHashOrder = 15, .shortHash3Order = 14, .depth = 12,
              .shortDepth = 128, .good = 4, .nice = 128, .lazy2 = false, .optimal = false};
    case Method::Lh6:
    case Method::Lh7:
      return {.hashOrder = 16, .hash3Order = 14, .shortHashOrder = 16, .shortHash3Order = 14, .depth = 32,
              .shortDepth = 32, .good = 0, .nice = 48, .lazy2 = false, .optimal = true};
    default: break;
  }
  return {.hashOrder = 15, .hash3Order = 14, .shortHashOrder = 15, .shortHash3Order = 14, .depth = 1,
          .shortDepth = 1, .good = 1000, .nice = 3, .lazy2 = false, .optimal = false};
}

// The finder's tables for an -lh5- input not known whole at its first parse
// (a large member, or a run of one): chains the dictionary's size, the hash
// tables a large input's.
using LargeLh5Geometry = MatchFinder::FixedGeometry<shapeOf(Method::Lh5).dictBits, tuningOf(Method::Lh5).hashOrder,
                                                    tuningOf(Method::Lh5).hash3Order>;

// The second look-ahead is tried only while the match in hand is shorter than
// this. On the 783 headers: 5% less time for 0.06% in size (12: 3% for 0.04%;
// 5: 7% for 0.11%).
constexpr std::uint32_t kLazy2Below = 8;

// New bytes buffered beyond the dictionary before the buffer slides. Larger
// means fewer slides (each moves a dictionary's worth of bytes and rebases the
// hash tables) at the cost of memory.
constexpr std::int32_t kChunk = 1 << 18;

// First size of the input buffer; it doubles as input arrives.
constexpr std::size_t kInitialBuffer = 1 << 14;
// Bytes after the buffer's end that match extension may read (never used).
constexpr std::size_t kBufferSlack = 16;

// Bytes kept unparsed at the end of the buffer while more input may follow, so
// that a match (and the one-byte look-ahead) can always reach full length.
constexpr std::int32_t kLookahead = kMaxMatch + 16;

}  // namespace
}  // namespace detail

using namespace detail;

struct EncoderWorkspace::Storage {
  MatchFinder::Tables tables;
  OptimalParser::Memory parser;
  BlockWriter::Storage items;
  std::vector<std::uint8_t> bits;
  LargeBytes buffer;
};

EncoderWorkspace::EncoderWorkspace() : storage_(new Storage) {}
EncoderWorkspace::~EncoderWorkspace() { delete storage_; }

struct Encoder::Impl {
  // `storage`: a workspace's memory to borrow, or null.
  Impl(Method m, ByteSink s, EncoderWorkspace::Storage* storage)
      : method(m),
        sink(std::move(s)),
        shape(shapeOf(m)),
        tuning(tuningOf(m)),
        window(m == Method::Lh0 ? 0 : std::int32_t{1} << shape.dictBits),
        capacity(window + kChunk),
        borrowed(storage),
        bits(storage ? std::move(storage->bits) : std::vector<std::uint8_t>{}) {
    if (storage) {
      tables = std::move(storage->tables);
      parserMemory = std::move(storage->parser);
      items = std::move(storage->items);
      buffer = std::move(storage->buffer);
    }
  }

  // Hands borrowed memory back to the workspace.
  ~Impl() {
    if (!borrowed) return;
    borrowed->tables = finder ? finder->release() : std::move(tables);
    borrowed->parser = optimal ? optimal->release() : std::move(parserMemory);
    borrowed->items = block ? block->release() : std::move(items);
    borrowed->bits = bits.release();
    borrowed->buffer = std::move(buffer);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // Sets up the match finder and the block on the first parse. A short input
  // is complete by then (finish() came before the buffer filled up), so its
  // tables are sized to it: a folder of small files then does not pay, per
  // file, for clearing tables made for megabytes.
  void prepare(bool complete) {
    if (finder) return;
    int bits = 24;  // log2 of the input size, rounded up (at least 8)
    if (complete) {
      bits = 8;
      while (bits < 24 && (std::int32_t{1} << bits) < length) ++bits;
    }
    depth = complete ? tuning.shortDepth : tuning.depth;
    lazy2 = complete || tuning.lazy2;
    // History given before the data (a run): its positions go into the
    // finder, so that matches may reach back into it, but are not parsed.
    const std::int32_t history = std::max(0, std::min(cur, length - 3));
    const int hashOrder = complete ? std::min(bits, tuning.shortHashOrder) : tuning.hashOrder;
    const int hash3Order = complete ? std::min(hashOrder, tuning.shortHash3Order) : tuning.hash3Order;
    finder = std::make_unique<MatchFinder>(shape.dictBits, std::min(bits, shape.dictBits), hashOrder, hash3Order,
                                           std::move(tables));
    // The lazy parser's fast path is made for these tables: a change here
    // that missed LargeLh5Geometry would only lose its speed.
    assert(complete || method != Method::Lh5 || finder->has<LargeLh5Geometry>());
    if (history > 0) finder->skip(buffer.data(), 0, history);
    if (tuning.optimal) optimal = std::make_unique<OptimalParser>(shape, depth, tuning.nice, std::move(parserMemory));
    block = std::make_unique<BlockWriter>(
        shape, complete ? static_cast<std::uint32_t>(std::max(length, 1)) : kMaxBlockItems, std::move(items));
  }

  // Makes room for more input: the buffer grows by doubling up to its
  // capacity, so a short input never allocates the full buffer (a run, whose
  // size is known, sizes it once: at least `atLeast` bytes). (A borrowed
  // buffer may be longer already; its bytes past the input are never used.)
  void grow(std::size_t atLeast = 0) {
    const std::size_t size = std::min<std::size_t>(
        static_cast<std::size_t>(capacity), std::max<std::size_t>({kInitialBuffer, 2 * static_cast<std::size_t>(bufferLimit()), atLeast}));
    if (buffer.size() < size + kBufferSlack) buffer.resize(size + kBufferSlack);
    bufferSize = static_cast<std::int32_t>(size);
  }
  std::int32_t bufferLimit() const { return bufferSize; }

  void emit() {
    if (bits.size() == 0) return;
    sink(std::span<const std::uint8_t>(bits.data(), bits.size()));
    packed += bits.size();
    bits.clearBytes();
  }

  void addItemCheck() {
    if (block->shouldEnd()) {
      block->flush(bits);
      emit();
    }
  }

  // Parses positions [cur, limit) of the buffer; matches may extend to `end`.
  void parse(std::int32_t limit, std::int32_t end) {
    if (optimal) {
      parseOptimal(limit, end);
      return;
    }
    parseLazy(limit, end);
  }

  // The lazy parser (-lh5-), made for the finder's tables: those of a large
  // input are always alike, and with their sizes as constants the searches
  // take 3% less time.
  void parseLazy(std::int32_t limit, std::int32_t end) {
    if (finder->has<LargeLh5Geometry>()) {
      parseLazyWith<LargeLh5Geometry>(limit, end);
    } else {
      parseLazyWith<MatchFinder::Geometry>(limit, end);
    }
  }

  // Flattened: the finder's search and insertion and the block's item
  // bookkeeping are inlined here whole (the compiler keeps the search out of
  // line, as it is called from three places), so its constants fold into
  // each call and no call saves and restores registers per position: 6% less
  // time for -lh5-.
  template <class G>
  [[gnu::flatten]] LZH_HOT_CLONES void parseLazyWith(std::int32_t limit, std::int32_t end) {
    const std::uint8_t* in = buffer.data();
    MatchFinder& finder = *this->finder;
    BlockWriter& block = *this->block;
    const std::uint32_t depth = this->depth;
    const std::uint32_t lookDepth = std::max<std::uint32_t>(1, depth / 4);
    const std::uint32_t good = tuning.good;
    const std::uint32_t nice = tuning.nice;
    const bool lazy2 = this->lazy2;
    while (cur < limit) {
      std::uint32_t maxLen = static_cast<std::uint32_t>(std::min(kMaxMatch, end - cur));
      if (maxLen < 4) {
        block.literal(in[cur++]);
        addItemCheck();
        continue;
      }
      std::uint32_t dist = 0;
      std::uint32_t len = finder.longestMatch<G>(in, cur, maxLen, nice, depth, kMinMatch - 1, &dist);
      if (len < kMinMatch) {
        block.literal(in[cur++]);
        addItemCheck();
        continue;
      }
      // Lazy evaluation: prefer a clearly longer match one byte later. The
      // score weighs a byte of length against the distance's bit count.
      std::int32_t inserted = cur + 1;  // positions below are in the finder
      while (len < nice) {
        maxLen = static_cast<std::uint32_t>(std::min(kMaxMatch, end - (cur + 1)));
        if (maxLen < 4) break;
        std::uint32_t nextDist = 0;
        const std::uint32_t nextLen =
            finder.longestMatch<G>(in, cur + 1, maxLen, nice, len >= good ? lookDepth : depth, len - 1, &nextDist);
        inserted = cur + 2;
        if (nextLen >= len && nextDist != 0 &&
            4 * static_cast<int>(nextLen - len) + static_cast<int>(bitLength(dist)) -
                    static_cast<int>(bitLength(nextDist)) > 2) {
          block.literal(in[cur++]);
          addItemCheck();
          len = nextLen;
          dist = nextDist;
          continue;
        }
        // Second look-ahead: two literals then a match two bytes later must
        // win by more, as the extra literal costs more than a distance bit.
        // Only behind a short match: a longer one rarely loses to it.
        if (lazy2 && len < kLazy2Below) {
          maxLen = static_cast<std::uint32_t>(std::min(kMaxMatch, end - (cur + 2)));
          if (maxLen < 4) break;
          const std::uint32_t secondLen =
              finder.longestMatch<G>(in, cur + 2, maxLen, nice, len >= good ? lookDepth : depth, len, &nextDist);
          inserted = cur + 3;
          if (secondLen > len &&
              4 * static_cast<int>(secondLen - len) + static_cast<int>(bitLength(dist)) -
                      static_cast<int>(bitLength(nextDist)) > 6) {
            block.literal(in[cur++]);
            addItemCheck();
            block.literal(in[cur++]);
            addItemCheck();
            len = secondLen;
            dist = nextDist;
            continue;
          }
        }
        break;
      }
      block.match(len, dist);
      addItemCheck();
      const std::int32_t next = cur + static_cast<std::int32_t>(len);
      const std::int32_t skipEnd = std::min(next, end - 3);
      if (skipEnd > inserted) {
        // The next search's buckets load while the match's positions go in.
        finder.prefetch<G>(in, next);
        finder.skip<G>(in, inserted, skipEnd - inserted);
      }
      cur = next;
    }
  }

  void parseOptimal(std::int32_t limit, std::int32_t end) {
    while (cur < limit) {
      const std::int32_t next = optimal->chooseStretch(buffer.data(), cur, limit, end, *finder);
      for (const OptimalParser::Item& item : optimal->items()) {
        block->item(item.length, item.value);
        addItemCheck();
      }
      cur = next;
    }
  }

  // Drops the bytes that are older than the dictionary, keeping the shift a
  // multiple of the dictionary size so the finder's modular chain index stays valid.
  void slide() {
    const std::int32_t delta = (cur - window) & ~(window - 1);
    if (delta <= 0) return;
    std::memmove(buffer.data(), buffer.data() + delta, static_cast<std::size_t>(length - delta));
    cur -= delta;
    length -= delta;
    finder->rebase(delta);
  }

  Method method;
  ByteSink sink;
  Shape shape;
  Tuning tuning;
  std::uint32_t depth = 0;  // the search depth, set by prepare()
  bool lazy2 = false;       // the second look-ahead, set by prepare()
  std::int32_t window;
  std::int32_t capacity;
  EncoderWorkspace::Storage* borrowed;
  // Memory for the finder and the block until prepare() makes them.
  MatchFinder::Tables tables;
  OptimalParser::Memory parserMemory;
  BlockWriter::Storage items;
  std::unique_ptr<MatchFinder> finder;
  std::unique_ptr<OptimalParser> optimal;  // -lh6-/-lh7- only
  std::unique_ptr<BlockWriter> block;
  BitWriter bits;
  LargeBytes buffer;
  std::int32_t bufferSize = 0;  // usable bytes of buffer (it has kBufferSlack more)
  std::int32_t length = 0;  // bytes in buffer
  std::int32_t cur = 0;     // next position to parse
  std::uint64_t packed = 0;
  bool finished = false;
};

namespace {

// The older methods are only decoded.
Method encodable(Method m) {
  if (m != Method::Lh0 && m != Method::Lh5 && m != Method::Lh6 && m != Method::Lh7)
    throw std::invalid_argument("lzh::Encoder: the method can only be decoded");
  return m;
}

}  // namespace

Encoder::Encoder(Method method, ByteSink sink, EncoderWorkspace* workspace)
    : impl_(new Impl(encodable(method), std::move(sink), workspace ? workspace->storage_ : nullptr)) {}

Encoder::~Encoder() { delete impl_; }

void Encoder::write(std::span<const std::uint8_t> data) {
  Impl& d = *impl_;
  if (d.finished) throw std::logic_error("lzh::Encoder::write after finish");
  if (d.method == Method::Lh0) {
    if (!data.empty()) {
      d.sink(data);
      d.packed += data.size();
    }
    return;
  }
  while (!data.empty()) {
    // Grown at once to hold what is given (up to the capacity), not doubled
    // step by step: each step is a fresh block, a copy and its page faults.
    if (d.length == d.bufferLimit()) d.grow(static_cast<std::size_t>(d.length) + data.size());
    const std::size_t room = static_cast<std::size_t>(d.bufferLimit() - d.length);
    const std::size_t n = std::min(room, data.size());
    std::memcpy(d.buffer.data() + d.length, data.data(), n);
    d.length += static_cast<std::int32_t>(n);
    data = data.subspan(n);
    if (d.length == d.capacity) {
      d.prepare(false);
      d.parse(d.length - kLookahead, d.length);
      d.slide();
    }
  }
}

void Encoder::finish() {
  Impl& d = *impl_;
  if (d.finished) return;
  d.finished = true;
  if (d.method == Method::Lh0) return;
  if (!d.finder && d.length == 0) return;  // no input, no blocks
  d.prepare(true);
  d.parse(d.length, d.length);
  d.block->flush(d.bits);
  d.bits.flushPartial();
  d.emit();
}

std::uint64_t Encoder::packedSize() const { return impl_->packed; }

PackedRun encodeRun(Method method, std::span<const std::uint8_t> history, std::span<const std::uint8_t> data,
                    EncoderWorkspace* workspace, LargeBytes storage) {
  PackedRun run;
  run.bytes = std::move(storage);
  run.bytes.clear();
  if (method == Method::Lh0) throw std::logic_error("lzh::encodeRun of stored data");
  if (data.empty()) return run;
  Encoder encoder(method, [&](std::span<const std::uint8_t> bytes) { run.bytes.append(bytes); }, workspace);
  Encoder::Impl& d = *encoder.impl_;
  // The history fits below the buffer's capacity (a dictionary at most), so
  // writing it only fills the buffer; parsing starts after it.
  history = history.last(std::min<std::size_t>(history.size(), static_cast<std::size_t>(d.window)));
  // The buffer takes the whole run at once, instead of doubling (a copy and
  // fresh pages each time) on the way; so does the output, at its size when
  // the run does not shrink.
  d.grow(history.size() + data.size());
  run.bytes.reserve(data.size() + data.size() / 8);
  encoder.write(history);
  d.cur = d.length;
  encoder.write(data);
  d.finished = true;
  d.prepare(false);
  d.parse(d.length, d.length);
  d.block->flush(d.bits);
  d.emit();
  run.bits = d.packed * 8 + d.bits.pendingBits();
  d.bits.flushPartial();
  d.emit();
  return run;
}

namespace {

std::uint64_t loadBigEndian64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

void storeBigEndian64(std::uint8_t* p, std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  std::memcpy(p, &v, 8);
}

}  // namespace

void RunJoiner::append(const PackedRun& run) {
  const std::size_t whole = static_cast<std::size_t>(run.bits / 8);
  const unsigned rest = static_cast<unsigned>(run.bits % 8);
  const std::uint8_t* p = run.bytes.data();
  if (count_ == 0) {
    // On a byte boundary the run's bytes go on as they are, without a copy.
    pass();
    if (whole != 0) {
      sink_(std::span(p, whole));
      passed_ += whole;
    }
  } else {
    // Every byte of the run straddles two output bytes. Eight at a time as
    // one big-endian word, then the rest byte by byte; passed on in pieces,
    // so that the buffer stays small whatever the run's size.
    for (std::size_t i = 0; i < whole;) {
      const std::size_t n = std::min(whole - i, kPiece);
      const std::size_t at = out_.size();
      out_.resize(at + n);
      std::uint8_t* o = out_.data() + at;
      const std::uint8_t* q = p + i;
      std::size_t k = 0;
      for (; k + 8 <= n; k += 8) {
        const std::uint64_t w = loadBigEndian64(q + k);
        storeBigEndian64(o + k, (std::uint64_t{partial_} << 56) | (w >> count_));
        partial_ = static_cast<std::uint8_t>(w << (8 - count_));
      }
      for (; k < n; ++k) {
        o[k] = static_cast<std::uint8_t>(partial_ | (q[k] >> count_));
        partial_ = static_cast<std::uint8_t>(q[k] << (8 - count_));
      }
      i += n;
      if (out_.size() >= kPiece) pass();
    }
  }
  if (rest != 0) {
    const std::uint8_t last = p[whole];
    if (count_ + rest >= 8) {
      out_.push_back(static_cast<std::uint8_t>(partial_ | (last >> count_)));
      partial_ = static_cast<std::uint8_t>(last << (8 - count_));
      count_ = count_ + rest - 8;
    } else {
      partial_ = static_cast<std::uint8_t>(partial_ | (last >> count_));
      count_ += rest;
    }
  }
  if (out_.size() >= kPiece) pass();
}

void RunJoiner::finish() {
  if (count_ != 0) out_.push_back(partial_);
  partial_ = 0;
  count_ = 0;
  pass();
}

void RunJoiner::pass() {
  if (out_.empty()) return;
  sink_(out_);
  passed_ += out_.size();
  out_.clear();
}

}  // namespace lzh
