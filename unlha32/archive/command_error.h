#pragma once
// An ordinary failure of a command, carried from deep inside the work to the C
// boundary, where it becomes a result code and a message.

#include <stdexcept>
#include <string>

namespace unlha {

class CommandError : public std::runtime_error {
 public:
  CommandError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// strerror() text for an errno value.
std::string systemMessage(int err);

}  // namespace unlha
