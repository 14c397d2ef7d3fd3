#pragma once
// Memory for the coder's and the writer's large buffers: mapped from the
// system with every page present at once.
//
// A page first touched costs a page fault, about 10 us each on a virtual
// machine (a 1 MiB buffer: 2.6 ms); mapping the block with its pages present
// (MAP_POPULATE) costs one system call and about a tenth of that. The large
// buffers of a command (run data, match tables, the output buffer, decoded
// data) are sized once and reused, so they are mapped this way; smaller
// blocks come from the heap as usual.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <utility>
#include <vector>

namespace lzh {

// Blocks from this size on are mapped; smaller ones come from the heap. Under
// AddressSanitizer every block comes from the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kLargeBlock = SIZE_MAX;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr std::size_t kLargeBlock = SIZE_MAX;
#else
inline constexpr std::size_t kLargeBlock = std::size_t{64} << 10;
#endif
#else
inline constexpr std::size_t kLargeBlock = std::size_t{64} << 10;
#endif

// A block of `bytes` (at least kLargeBlock) with its pages present; throws
// std::bad_alloc. Give it back with unmapLarge and the same size.
void* mapLarge(std::size_t bytes);
void unmapLarge(void* block, std::size_t bytes) noexcept;

// A vector allocator that maps large blocks (mapLarge). Suits a buffer sized
// once: one grown step by step would be mapped and filled anew at each step.
template <class T>
struct LargeAllocator {
  using value_type = T;
  LargeAllocator() = default;
  template <class U>
  LargeAllocator(const LargeAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargeBlock) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(mapLarge(bytes));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargeBlock) {
      ::operator delete(p);
    } else {
      unmapLarge(p, bytes);
    }
  }
  friend bool operator==(const LargeAllocator&, const LargeAllocator&) noexcept { return true; }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

// Bytes in memory from LargeAllocator, copied in with one memcpy (a vector
// with that allocator copies them one by one). New bytes of resize() are zero.
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
  std::uint8_t& operator[](std::size_t i) { return data_[i]; }
  const std::uint8_t& operator[](std::size_t i) const { return data_[i]; }

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
    std::uint8_t* fresh = LargeAllocator<std::uint8_t>().allocate(capacity);
    if (size_ != 0) std::memcpy(fresh, data_, size_);
    const std::size_t size = size_;
    release();
    data_ = fresh;
    size_ = size;
    capacity_ = capacity;
  }
  void release() noexcept {
    if (data_) LargeAllocator<std::uint8_t>().deallocate(data_, capacity_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
  }

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace lzh
