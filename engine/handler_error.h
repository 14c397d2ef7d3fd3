#pragma once
// The one error that ends the running handler and reaches the event loop, which
// shows its text in an error box (error icon, OK, the application's title):
// an error of the system on the batch file, or a refused settings write.

#include <stdexcept>
#include <string>

namespace vedo {

class HandlerError : public std::runtime_error {
 public:
  explicit HandlerError(std::string cp932Text)
      : std::runtime_error(cp932Text), text_(std::move(cp932Text)) {}
  // The message in CP932, as the error box shows it.
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace vedo
