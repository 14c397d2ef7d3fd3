#pragma once
// The notice that tells the user where a file stayed when a guarded removal
// had to put it back but found its name taken by a new file.

#include "platform/guarded_removal.h"

namespace vedo {

class InteractionPort;

// Shows the notice when `removal` kept the old file under another name;
// otherwise does nothing. Shown whatever the notice settings: it is the only
// place the user learns where the file went.
void reportKeptAside(InteractionPort& ui, const fs::RemovalResult& removal);

}  // namespace vedo
