#include "engine/run_report.h"

#include <algorithm>

#include "engine/app_state.h"
#include "engine/job_fields.h"

namespace vedo {

void RunReport::record(const std::string& line) {
  status_ = std::max<int>(status_, ExitFailed);
  if (sink_) sink_(line);
}

void RunReport::entryFailed(const std::string& source, const std::string& target, const std::string& reason) {
  record("\"" + source + "\" -> \"" + target + "\": " + reason);
}

void RunReport::failed(const std::string& reason) { record(reason); }

void RunReport::fileUnreadable() { status_ = ExitUnreadable; }

bool ReportsProblems(const AppState& state) { return !state.StartedWithArguments || state.BatchConfirm; }

void ReportEntryFailure(EngineContext& ctx, const std::string& reason) {
  if (ctx.report != nullptr) ctx.report->entryFailed(ctx.fields.Source(), ctx.fields.Target(), reason);
}

}  // namespace vedo
