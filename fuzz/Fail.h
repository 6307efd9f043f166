// What a fuzz target does when an invariant does not hold.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace spekolar::spkfuzz {

// Stops the run: libFuzzer reports the input that got here.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

}  // namespace spekolar::spkfuzz
