#include "progress.h"

namespace unlha {
namespace {

struct SilentReport final : ProgressReport {
  void member(std::string_view) override {}
  void fraction(double) override {}
};

}  // namespace

// Without a windowing toolkit there is nothing to show: the work runs here,
// blocking the caller, whether or not a display was asked for.
int runWithProgress(bool /*show*/, const std::function<int(ProgressReport&)>& work) {
  SilentReport report;
  return work(report);
}

}  // namespace unlha
