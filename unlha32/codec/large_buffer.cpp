#include "unlha32/codec/large_buffer.h"

#include <sys/mman.h>

namespace lzh {

void* mapLarge(std::size_t bytes) {
  void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  return block;
}

void unmapLarge(void* block, std::size_t bytes) noexcept { ::munmap(block, bytes); }

}  // namespace lzh
