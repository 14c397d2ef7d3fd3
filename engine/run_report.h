#pragma once
// What a command-line run left undone: its exit status, and one line (CP932)
// per entry that did not do its job. The engine records; whoever started the
// run decides where the lines go (standard error for a command-line run).

#include <functional>
#include <string>

#include "engine/engine_context.h"

namespace vedo {

struct AppState;

enum ExitStatus : int {
  ExitDone = 0,        // every entry did its job
  ExitFailed = 1,      // an entry failed or was skipped, or the run was aborted
  ExitUnreadable = 2,  // the batch file could not be read
};

class RunReport {
 public:
  using Sink = std::function<void(const std::string& cp932Line)>;
  explicit RunReport(Sink sink = {}) : sink_(std::move(sink)) {}

  // The entry from `source` to `target` did not do its job (failed, skipped,
  // or the run was aborted at it), for `reason`.
  void entryFailed(const std::string& source, const std::string& target, const std::string& reason);
  // Something that belongs to no single entry went wrong: the run was
  // aborted, a line could not be read.
  void failed(const std::string& reason);
  // The batch file could not be read (missing, not a batch file, an error of
  // the system). No line: the notice or the error box that always follows
  // says so.
  void fileUnreadable();

  int exitStatus() const { return status_; }

 private:
  void record(const std::string& line);

  Sink sink_;
  int status_ = ExitDone;
};

// Failure notices and warnings of a run started with arguments appear only
// when batch notices are wanted; a run from the main window always shows them.
bool ReportsProblems(const AppState& state);

// Records that the entry in the job fields did not do its job, when the run
// keeps a report.
void ReportEntryFailure(EngineContext& ctx, const std::string& reason);

}  // namespace vedo
