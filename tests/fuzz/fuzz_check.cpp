#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_targets.h"

namespace vedo::fuzz {

void fail(const char* rule) {
  std::fprintf(stderr, "fuzz check failed: %s\n", rule);
  std::abort();
}

}  // namespace vedo::fuzz
