#pragma once
// Memory for reads, reused from one member to the next.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace unlha {

// Grows without clearing or keeping what it held (every caller fills it
// before it looks), so the system maps a page of it only when a read first
// writes there. A vector grown from member to member to each one's size
// cleared and copied its pages, each new one a page fault (about 15 us on the
// benchmarks' virtual machine; bench/README.md).
class ScratchBuffer {
 public:
  // `size` bytes of unspecified contents, valid until the next call. Growing,
  // it takes at least `atLeast` bytes, and twice what it had.
  std::span<std::uint8_t> get(std::size_t size, std::size_t atLeast = 0) {
    if (size > capacity_) {
      const std::size_t n = std::max({size, atLeast, 2 * capacity_});
      data_.reset();  // the old block goes first: never both at once
      data_.reset(new std::uint8_t[n]);
      capacity_ = n;
    }
    return std::span(data_.get(), size);
  }

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
};

}  // namespace unlha
