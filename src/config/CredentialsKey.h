// The 7-character key with which the product encrypts its database access
// values, fixed at build time by SPEKOLAR_CREDENTIALS_KEY.
//
// The key is never kept in a variable of its own: each user builds it into a
// local array character by character just before the key schedule and
// overwrites that array right after, so it lives on the stack only for the
// moment it is needed. Only translation units compiled with the definition
// (the configuration library, spekolar-encrypt, the configuration tests)
// include this header.
#pragma once

#include <cstddef>

#ifndef SPEKOLAR_CREDENTIALS_KEY
#error "SPEKOLAR_CREDENTIALS_KEY must be defined by the build (a 7-character string literal)"
#endif

namespace spekolar::credentials_key {

inline constexpr size_t kLength = 7;
static_assert(sizeof(SPEKOLAR_CREDENTIALS_KEY) == kLength + 1,
              "SPEKOLAR_CREDENTIALS_KEY must have exactly 7 characters");

using KeyBytes = unsigned char[kLength];

inline void Build(KeyBytes& key) {
  for (size_t i = 0; i < kLength; ++i) {
    key[i] = static_cast<unsigned char>(SPEKOLAR_CREDENTIALS_KEY[i]);
  }
}

// Volatile writes: the array is dead afterwards, and plain stores to it
// would be removed by the optimizer.
inline void Wipe(KeyBytes& key) {
  volatile unsigned char* bytes = key;
  for (size_t i = 0; i < kLength; ++i) bytes[i] = 0;
}

}  // namespace spekolar::credentials_key
