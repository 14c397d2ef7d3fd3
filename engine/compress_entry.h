#pragma once
#include "engine/engine_context.h"

namespace vedo {

// Compresses the job's Source (file or wildcard pattern) into its Target archive
// with the confirmation and delete rules of AppState, and deletes the sources
// when told to. Reads Source, Target and DeleteAfter from the job fields. True
// when the archiver was called and the delete stage ran to its end.
bool CompressEntry(EngineContext& ctx);

}  // namespace vedo
