#pragma once
// What every engine operation works with: the shared record, the job fields,
// the user and the archiver table; and, for a command-line run, the report of
// what it left undone.

namespace vedo {

struct AppState;
class JobFields;
class InteractionPort;
class RunReport;
namespace unlha32 { struct ArchiverBinding; }

struct EngineContext {
  AppState& state;
  JobFields& fields;
  InteractionPort& ui;
  unlha32::ArchiverBinding& archiver;
  RunReport* report = nullptr;
};

}  // namespace vedo
