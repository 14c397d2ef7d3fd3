#pragma once
// How a running command shows its progress. The library runs each command
// through runWithProgress; the implementation decides where the work runs and
// what the user sees. This file's default implementation (progress.cpp) runs
// the work on the calling thread and shows nothing; a build with a windowing
// toolkit replaces progress.cpp with one that shows a small window while the
// work runs on a worker thread. Nothing else in the library depends on which.

#include <functional>
#include <string_view>

namespace unlha {

// What the work tells the display. Calls come from the thread that runs the work.
struct ProgressReport {
  virtual ~ProgressReport() = default;
  // The member now being compressed or verified (CP932 stored path).
  virtual void member(std::string_view name) = 0;
  // How much of the whole command is done, from 0.0 to 1.0.
  virtual void fraction(double done) = 0;
};

// Runs `work` to its end and returns its result. `show` is false under -n: no
// display, the call simply blocks. Never throws for the display's sake.
int runWithProgress(bool show, const std::function<int(ProgressReport&)>& work);

}  // namespace unlha
