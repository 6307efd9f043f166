// Blowfish block cipher and the hex format of the product's encrypted
// database access values.
//
// The cipher is standard Blowfish: 16 rounds, the initial subkeys and boxes
// taken from the hexadecimal digits of pi, the standard key schedule (key
// bytes taken cyclically, first byte most significant). A block is two
// 32-bit halves (left, right).
//
// The product stores a value as hex text of its ciphertext, 16 characters
// per 8-byte block, and reads each half of a block lowest byte first (a
// byte-oriented library that reads halves highest byte first gives the same
// bytes after reversing each 4-byte group before and after it).
//
// The program has one thread and one Blowfish context: it is filled by the
// key schedule for one encryption or decryption of a value and overwritten
// with zeros right after it, so the expanded key never outlives its use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/CString.h"

namespace spekolar {

struct BlowfishContext {
  static constexpr int kRounds = 16;
  uint32_t P[kRounds + 2];
  uint32_t S[4][256];
};

// The program-wide context (all zero while no value is being processed).
BlowfishContext& SharedBlowfishContext();

// Standard key schedule into `ctx`. Precondition: 1 <= keyLength; keys
// longer than 72 bytes use only their first 72 bytes (Blowfish's own limit
// is 56). A keyLength of 0 leaves the subkeys unkeyed (pi digits only).
void BlowfishSetKey(BlowfishContext* ctx, const unsigned char* key, size_t keyLength);
void BlowfishEncryptBlock(const BlowfishContext& ctx, uint32_t* left, uint32_t* right);
void BlowfishDecryptBlock(const BlowfishContext& ctx, uint32_t* left, uint32_t* right);
// Overwrites every word with zero in a way the compiler may not drop.
void BlowfishWipe(BlowfishContext* ctx);

// Decrypts a hex value with `key`, using and then zeroing the program-wide
// context. Characters 'A'..'F' count 10..15, every other character its code
// minus '0' (no validation; lower-case letters give garbage, as callers pass
// upper-cased text); each byte is taken modulo 256. Blocks of 16 characters
// are decrypted from the start; an incomplete last block is ignored. The
// result ends before the first zero byte of the plaintext.
CString DecryptCredentialHex(const CString& hexText, const unsigned char* key, size_t keyLength);

// Inverse of DecryptCredentialHex: pads the plaintext with zero bytes to a
// multiple of 8 (the empty text stays empty), encrypts each block with the
// same byte order and writes upper-case hex. Uses and then zeroes the
// program-wide context.
CString EncryptCredentialHex(const CString& plaintext, const unsigned char* key, size_t keyLength);

// EncryptCredentialHex with the build's 7-character credentials key: the
// text that the credentials file holds for `plaintext`.
CString EncryptCredentialValue(const CString& plaintext);

}  // namespace spekolar
