#pragma once
// What a command hands back to the entry that ran it.

#include <string>

namespace unlha {

struct CommandResult {
  int code = 0;         // UNLHA_OK or UNLHA_ERROR_*
  std::string message;  // CP932, for the caller's output buffer
};

}  // namespace unlha
