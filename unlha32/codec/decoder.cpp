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

#include "unlha32/codec/decoder_impl.h"
#include "unlha32/codec/hot_clones.h"

namespace lzh {
namespace detail {

[[noreturn]] void corrupt(const char* what) { throw FormatError(std::string("LZH data corrupt: ") + what); }

}  // namespace detail

// Decodes items until the output buffer is full or the member is complete.
//
// The hot loop keeps the bit buffer, the input and output positions and
// the table pointers in locals: stores through the byte-typed output
// pointer may alias any object whose address is known, so members would
// be reloaded after every byte written. The locals go back to the members
// around the rare calls that need them (refills near the end of the input
// chunk, block headers).
LZH_HOT_CLONES void detail::DecoderCore::decodeBlocksSome() {
  std::uint8_t* const o = out.data();
  std::size_t w = wpos;
  std::uint64_t left = outLeft;
  std::uint64_t bb = bitBuf;
  unsigned bc = bitCount;
  const std::uint8_t* ip = in.data() + inPos;
  const std::uint8_t* ie = in.data() + inEnd;
  const std::uint32_t* cLook = cTable.lookup();
  const std::uint32_t* pLook = pTable.lookup();
  std::uint32_t blockRemaining = blockLeft;

  const auto save = [&] {
    bitBuf = bb;
    bitCount = bc;
    inPos = static_cast<std::size_t>(ip - in.data());
  };
  const auto load = [&] {
    bb = bitBuf;
    bc = bitCount;
    ip = in.data() + inPos;
    ie = in.data() + inEnd;
  };
  // Tops the bit buffer up whenever eight input bytes are at hand, whether
  // or not it runs low: a no-op at worst, and no unpredictable branch.
  const auto refillEager = [&] {
    if (ie - ip >= 8) [[likely]] {
      bb |= loadBigEndian64(ip) >> bc;
      ip += (63 - bc) >> 3;
      bc |= 56;
    } else if (bc < 48) {
      save();
      refill();
      load();
    }
  };
  // Takes the code whose table entry is `e` and gives its symbol.
  const auto take = [&](const HuffmanTable& t, std::uint32_t e, unsigned lookupBits) {
    if ((e & 0xFF) > lookupBits) {
      if (e == HuffmanTable::kLong) e = t.slow(static_cast<std::uint32_t>(bb >> (64 - kMaxCodeLen)));
      if (e == HuffmanTable::kInvalid) corrupt("invalid code");
    }
    bb <<= (e & 63);  // the length is below 64; the mask lets the shift take the entry as it is
    bc -= (e & 0xFF);
    return e >> 8;
  };

  const std::uint64_t before = produced;  // member bytes decoded before o[start]
  const std::size_t start = w;
  // Items are decoded while w < stop; a match may run past `stop` into the
  // buffer's slack, but never past the member's end.
  const std::size_t memberEnd = w + static_cast<std::size_t>(left);
  const std::size_t stop = std::min(capacity, memberEnd);
  while (w < stop) {
    if (blockRemaining == 0) {
      save();
      startBlock();
      load();
      blockRemaining = blockLeft;
    }
    refillEager();
    // The entry of the next code is looked up as soon as the bits of the
    // item before it are consumed, ahead of the refill and of the test
    // whether that item was a literal: the lookup does not wait for them.
    // Each item starts with at least 48 bits held and a literal takes at
    // most 16, so the lookup's bits are there; a refill adds bits behind
    // those held, so the entry stays right.
    std::uint32_t e = cLook[bb >> (64 - kCLookupBits)];
    do {
      --blockRemaining;
      const std::uint32_t c = take(cTable, e, kCLookupBits);
      if (c < 256) {
        o[w++] = static_cast<std::uint8_t>(c);
        e = cLook[bb >> (64 - kCLookupBits)];
        refillEager();
        continue;
      }
      const std::uint32_t len = c - 256 + kMinMatch;
      const std::uint32_t p = take(pTable, pLook[bb >> (64 - kPLookupBits)], kPLookupBits);
      std::uint32_t dist = p;
      if (p > 1) {
        dist = (1u << (p - 1)) + static_cast<std::uint32_t>(bb >> (64 - (p - 1)));
        bb <<= (p - 1);
        bc -= (p - 1);
      }
      ++dist;
      if (dist > before + (w - start)) corrupt("distance before the start of the data");
      if (len > memberEnd - w) corrupt("match past the end of the data");
      copyMatch(o + w, dist, len);
      w += len;
      refillEager();
      e = cLook[bb >> (64 - kCLookupBits)];
    } while (blockRemaining != 0 && w < stop);
  }
  left = memberEnd - w;
  save();
  produced += w - start;
  wpos = w;
  outLeft = left;
  blockLeft = blockRemaining;
  if (outLeft == 0 && padBits > bitCount) corrupt("truncated");
}

DecoderWorkspace::DecoderWorkspace() : storage_(new Storage) {}
DecoderWorkspace::~DecoderWorkspace() { delete storage_; }

Decoder::Decoder(Method method, ByteSource source, std::uint64_t packedSize, std::uint64_t originalSize,
                 DecoderWorkspace* workspace)
    : impl_(new detail::DecoderCore(method, std::move(source), packedSize, originalSize,
                                    workspace ? workspace->storage_ : nullptr)) {}

Decoder::~Decoder() { delete impl_; }

namespace {

// Runs `decode`; after a FormatError the decoder gives nothing more: its
// tables may be half read (and, in a workspace, left from an earlier
// member), so a caller that reads on must not get bytes decoded with them.
template <typename Decode>
auto endingOnError(detail::DecoderCore& d, Decode&& decode) {
  try {
    return decode();
  } catch (const FormatError&) {
    d.outLeft = 0;
    d.rpos = d.wpos;
    throw;
  }
}

}  // namespace

std::size_t Decoder::read(std::span<std::uint8_t> out) {
  detail::DecoderCore& d = *impl_;
  return endingOnError(d, [&] { return d.method == Method::Lh0 ? d.readStored(out) : d.readPacked(out); });
}

std::span<const std::uint8_t> Decoder::readView() {
  detail::DecoderCore& d = *impl_;
  return endingOnError(d, [&] { return d.method == Method::Lh0 ? d.viewStored() : d.viewPacked(); });
}

}  // namespace lzh
