#pragma once
// What every engine operation works with: the shared record, the job fields,
// the user and the archiver table.

namespace vedo {

struct AppState;
class JobFields;
class InteractionPort;
namespace unlha32 { struct ArchiverBinding; }

struct EngineContext {
  AppState& state;
  JobFields& fields;
  InteractionPort& ui;
  unlha32::ArchiverBinding& archiver;
};

}  // namespace vedo
