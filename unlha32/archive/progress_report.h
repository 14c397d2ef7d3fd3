#pragma once
// What a running command tells whoever shows its progress.

#include <string_view>

namespace unlha {

// What the work tells the display. Calls come from the thread that runs the work.
struct ProgressReport {
  virtual ~ProgressReport() = default;
  // The member now being compressed or verified (CP932 stored path).
  virtual void member(std::string_view name) = 0;
  // How much of the whole command is done, from 0.0 to 1.0.
  virtual void fraction(double done) = 0;
  // True once the user asked the command to stop (the progress window's stop
  // button or its close box). The work asks at its safe points, where
  // stopping leaves everything as it was (throwIfCancelled, command_error.h).
  virtual bool cancelled() const { return false; }
};

}  // namespace unlha
