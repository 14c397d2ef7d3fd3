#pragma once
// An owned file descriptor: closed when its owner goes, moved but never
// copied, so every path out of a function closes what it opened.

#include <unistd.h>

#include <cerrno>

namespace vedo {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Gives the descriptor up without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held (if any) and holds `fd` instead.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports the close's own result: 0 or an errno value. A
  // write's failure can surface only here on some file systems.
  int close() {
    if (fd_ < 0) return 0;
    const int result = ::close(release());
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace vedo
