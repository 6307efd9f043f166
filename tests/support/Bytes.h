// Byte helpers for tests that compare Windows-1252 text through hex.
#pragma once

#include <string>

namespace spekolar::spktest {

// Upper-case hex of every byte, two digits each (as SQL's HEX() gives it).
inline std::string ToHex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 0x0F];
  }
  return hex;
}

}  // namespace spekolar::spktest
