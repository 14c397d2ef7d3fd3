#pragma once
// Memory for the large byte buffers of a command: mapped from the system with
// every page present at once.
//
// A page first touched costs a page fault, about 10 us each on a virtual
// machine (a 1 MiB buffer: 2.6 ms); mapping the block with its pages present
// (MAP_POPULATE) costs one system call and about a tenth of that. The buffers
// of a member compressed in runs (each run's data, its packed bytes, the
// coder's input buffer) and the output buffer are that large, sized once and
// reused from member to member, so they are mapped this way. Smaller blocks,
// and those of buffers that grow step by step, come from the heap: a mapped
// block given back costs more than its faults saved.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

namespace lzh {

// Blocks from this size on are mapped; smaller ones come from the heap. Under
// AddressSanitizer every block comes from the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kLargeBlock = SIZE_MAX;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr std::size_t kLargeBlock = SIZE_MAX;
#else
inline constexpr std::size_t kLargeBlock = std::size_t{1} << 20;
#endif
#else
inline constexpr std::size_t kLargeBlock = std::size_t{1} << 20;
#endif

// `bytes` of memory, mapped with its pages present from kLargeBlock on;
// throws std::bad_alloc. Give it back with freeLarge and the same size.
std::uint8_t* allocateLarge(std::size_t bytes);
void freeLarge(std::uint8_t* block, std::size_t bytes) noexcept;

// Bytes in memory from allocateLarge. New bytes of resize() are zero.
class LargeBytes {
 public:
  LargeBytes() = default;
  LargeBytes(const std::uint8_t* first, const std::uint8_t* last) { append({first, last}); }
  ~LargeBytes() { release(); }
  LargeBytes(LargeBytes&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  LargeBytes& operator=(LargeBytes&& other) noexcept {
    if (this != &other) {
      release();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::uint8_t* begin() { return data_; }
  std::uint8_t* end() { return data_ + size_; }
  const std::uint8_t* begin() const { return data_; }
  const std::uint8_t* end() const { return data_ + size_; }

  void clear() { size_ = 0; }
  // Room for `capacity` bytes in all, without a move on the way there.
  void reserve(std::size_t capacity) {
    if (capacity > capacity_) reallocate(capacity);
  }
  void resize(std::size_t size) {
    if (size > capacity_) reallocate(std::max(size, 2 * capacity_));
    if (size > size_) std::memset(data_ + size_, 0, size - size_);
    size_ = size;
  }
  void append(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (bytes.size() > capacity_ - size_) reallocate(std::max(size_ + bytes.size(), 2 * capacity_));
    std::memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

 private:
  void reallocate(std::size_t capacity) {
    std::uint8_t* fresh = allocateLarge(capacity);
    if (size_ != 0) std::memcpy(fresh, data_, size_);
    const std::size_t size = size_;
    release();
    data_ = fresh;
    size_ = size;
    capacity_ = capacity;
  }
  void release() noexcept {
    if (data_) freeLarge(data_, capacity_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
  }

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace lzh
