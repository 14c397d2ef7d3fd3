#pragma once
#include <string>

#include "engine/engine_context.h"

namespace vedo {

// Copies (command 6) or moves (command 7) the job's Source file into the folder
// named by Target, writing the destination path back into Target.
void CopyOrMoveEntry(EngineContext& ctx, int command);

// Makes `path` the current folder. False, after a warning, when the batch must stop.
bool ChangeFolderEntry(EngineContext& ctx, const std::string& path);

}  // namespace vedo
