#include "unlha32/codec/large_buffer.h"

#include <sys/mman.h>

#include <new>

namespace lzh {

std::uint8_t* allocateLarge(std::size_t bytes) {
  if (bytes < kLargeBlock) return static_cast<std::uint8_t*>(::operator new(bytes));
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  return static_cast<std::uint8_t*>(block);
}

void freeLarge(std::uint8_t* block, std::size_t bytes) noexcept {
  if (bytes < kLargeBlock) {
    ::operator delete(block);
  } else {
    ::munmap(block, bytes);
  }
}

}  // namespace lzh
