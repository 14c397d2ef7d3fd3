#pragma once
// Memory for reads, reused from one member to the next.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "unlha32/codec/large_buffer.h"

namespace unlha {

// Grows without clearing or keeping what it held (every caller fills it
// before it looks), so the system maps a page of it only when a read first
// writes there. A vector grown from member to member to each one's size
// cleared and copied its pages, each new one a page fault (about 15 us on the
// benchmarks' virtual machine; bench/README.md). A large one is mapped with
// its pages present (lzh::mapLarge).
class ScratchBuffer {
 public:
  ScratchBuffer() = default;
  ~ScratchBuffer() { release(); }
  ScratchBuffer(ScratchBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}
  ScratchBuffer& operator=(ScratchBuffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }

  // `size` bytes of unspecified contents, valid until the next call. Growing,
  // it takes at least `atLeast` bytes, and twice what it had.
  std::span<std::uint8_t> get(std::size_t size, std::size_t atLeast = 0) {
    if (size > capacity_) {
      const std::size_t n = std::max({size, atLeast, 2 * capacity_});
      release();  // the old block goes first: never both at once
      data_ = lzh::LargeAllocator<std::uint8_t>().allocate(n);
      capacity_ = n;
    }
    return std::span(data_, size);
  }

 private:
  void release() noexcept {
    if (data_) lzh::LargeAllocator<std::uint8_t>().deallocate(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
  }

  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace unlha
