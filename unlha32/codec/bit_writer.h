#pragma once
// MSB-first bit writer. Bits gather in a 64-bit accumulator and leave it 32 at
// a time as one big-endian store, so a code costs a shift, an or and (every
// few codes) one store; a block's items leave it as whole bytes after each
// item, in one 8-byte store (putWideEach). The caller reserves room before a run
// of puts (reserve()), which keeps bounds checks out of the per-code path.

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace lzh::detail {

class BitWriter {
 public:
  // `storage`: memory to write into, left over from an earlier writer (see release()).
  explicit BitWriter(std::vector<std::uint8_t> storage = {}) : out_(std::move(storage)) {
    if (out_.size() < 64) out_.resize(64);
    p_ = out_.data();
  }
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Gives the memory back; the writer is unusable after.
  std::vector<std::uint8_t> release() {
    p_ = nullptr;
    return std::move(out_);
  }

  // Makes room for at least `bytes` more output bytes.
  void reserve(std::size_t bytes) {
    const std::size_t used = size();
    if (out_.size() < used + bytes + 8) {
      out_.resize(used + bytes + 8);
      p_ = out_.data() + used;
    }
  }

  // Appends the low `n` bits of `v` (n <= 32, v < 2^n).
  void put(unsigned n, std::uint32_t v) {
    acc_ = (acc_ << n) | v;
    count_ += n;
    if (count_ >= 32) {
      count_ -= 32;
      const std::uint32_t w = static_cast<std::uint32_t>(acc_ >> count_);
      p_[0] = static_cast<std::uint8_t>(w >> 24);
      p_[1] = static_cast<std::uint8_t>(w >> 16);
      p_[2] = static_cast<std::uint8_t>(w >> 8);
      p_[3] = static_cast<std::uint8_t>(w);
      p_ += 4;
    }
  }

  // Writes out the whole bytes of the pending bits, leaving fewer than 8.
  void alignPending() {
    while (count_ >= 8) {
      count_ -= 8;
      *p_++ = static_cast<std::uint8_t>(acc_ >> count_);
    }
  }

  // The low `bits` bits of `value` (value < 2^bits).
  struct Code {
    unsigned bits;
    std::uint64_t value;
  };

  // Appends `count` codes, the i-th being code(i), after alignPending():
  // each code (1 <= bits, bits + 7 <= 64) leaves its whole bytes at once,
  // with fewer than 8 bits pending, in one 8-byte store and no branch; 8
  // bytes per code must be reserved. The accumulator and the output pointer
  // stay in registers over the run: as members, every store through the
  // byte pointer (which may alias them) would send them to memory and back.
  template <typename CodeOf>
  void putWideEach(std::uint32_t count, CodeOf&& code) {
    std::uint64_t acc = acc_;
    unsigned pending = count_;
    std::uint8_t* p = p_;
    for (std::uint32_t i = 0; i < count; ++i) {
      const Code c = code(i);
      acc = (acc << c.bits) | c.value;
      pending += c.bits;
      std::uint64_t w = acc << (64 - pending);
      if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
      std::memcpy(p, &w, 8);
      p += pending >> 3;
      pending &= 7;
    }
    acc_ = acc;
    count_ = pending;
    p_ = p;
  }

  // Whole bytes written so far and not yet taken.
  std::size_t size() const { return static_cast<std::size_t>(p_ - out_.data()); }
  const std::uint8_t* data() const { return out_.data(); }
  // Forgets the whole bytes (after the caller has passed them on); pending bits stay.
  void clearBytes() { p_ = out_.data(); }

  // Bits put but not yet in the whole bytes of size() (fewer than 32).
  unsigned pendingBits() const { return count_; }

  // Writes the pending bits, padded with zero bits to a whole byte.
  void flushPartial() {
    reserve(4);
    const std::uint32_t w = count_ ? static_cast<std::uint32_t>(acc_ << (32 - count_)) : 0;
    for (unsigned k = 0; k < (count_ + 7) / 8; ++k) *p_++ = static_cast<std::uint8_t>(w >> (24 - 8 * k));
    count_ = 0;
    acc_ = 0;
  }

 private:
  std::vector<std::uint8_t> out_;
  std::uint8_t* p_ = nullptr;
  std::uint64_t acc_ = 0;
  unsigned count_ = 0;
};

}  // namespace lzh::detail
