#pragma once
// MSB-first bit writer. Bits gather in a 64-bit accumulator and leave it 32 at
// a time as one big-endian store, so a code costs a shift, an or and (every
// few codes) one store; a block's items leave it as whole bytes after each
// item, in one 8-byte store (putWide). The caller reserves room before a run
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

  // Appends the low `n` bits of `v` (1 <= n, fewer than 8 bits pending before
  // and n + those <= 64) and writes out the whole bytes at once, leaving fewer
  // than 8 pending: one 8-byte store and no branch. 8 bytes must be reserved.
  void putWide(unsigned n, std::uint64_t v) {
    acc_ = (acc_ << n) | v;
    count_ += n;
    std::uint64_t w = acc_ << (64 - count_);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    std::memcpy(p_, &w, 8);
    p_ += count_ >> 3;
    count_ &= 7;
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
