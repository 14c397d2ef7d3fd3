// The libFuzzer entry of one target; VEDO_FUZZ_FUNCTION names which.
#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return VEDO_FUZZ_FUNCTION(data, size);
}
