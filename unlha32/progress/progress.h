#pragma once
// How a running command shows its progress. The library runs each command
// through runWithProgress; the implementation decides where the work runs and
// what the user sees. This file's default implementation (progress.cpp) runs
// the work on the calling thread and shows nothing; a build with a windowing
// toolkit replaces progress.cpp with one that shows a small window while the
// work runs on a worker thread. Nothing else in the library depends on which.

#include <functional>

#include "unlha32/archive/progress_report.h"

namespace unlha {

// Runs `work` to its end and returns its result. `show` is false under -n: no
// display, the call simply blocks. Never throws for the display's sake.
int runWithProgress(bool show, const std::function<int(ProgressReport&)>& work);

}  // namespace unlha
