#pragma once
// An ordinary failure of a command, carried from deep inside the work to the C
// boundary, where it becomes a result code and a message.

#include <stdexcept>
#include <string>

#include "unlha32/archive/messages.h"
#include "unlha32/archive/progress_report.h"
#include "unlha32/include/unlha32.h"

namespace unlha {

class CommandError : public std::runtime_error {
 public:
  CommandError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// A safe point of a command: stops it, as a failure, when the user asked to.
// Called only where nothing has been changed that a failure would not undo (a
// new archive still in its temporary file; before a member is extracted).
inline void throwIfCancelled(const ProgressReport& report) {
  if (report.cancelled()) throw CommandError(UNLHA_ERROR_CANCELLED, tr("cancelled by the user"));
}

// strerror() text for an errno value.
std::string systemMessage(int err);

}  // namespace unlha
