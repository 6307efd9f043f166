// Checks shared by the cipher and credentials tests.
#pragma once

#include <cstdint>

#include "config/Blowfish.h"

namespace spekolar::spktest {

// True when every word of the program-wide cipher context is zero, as it
// must be between two uses.
inline bool SharedContextIsZero() {
  const BlowfishContext& ctx = SharedBlowfishContext();
  for (uint32_t word : ctx.P) {
    if (word != 0) return false;
  }
  for (const auto& box : ctx.S) {
    for (uint32_t word : box) {
      if (word != 0) return false;
    }
  }
  return true;
}

}  // namespace spekolar::spktest
