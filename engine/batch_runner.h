#pragma once
#include "engine/engine_context.h"

namespace vedo {

// Runs the batch file named by the job fields' BatchFileName entry by entry.
// An error of the system while the file is opened, read or closed ends the run
// with a HandlerError (text from batch_io_error.h), which the event loop shows.
void RunBatchFile(EngineContext& ctx);

}  // namespace vedo
