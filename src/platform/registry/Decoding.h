// Decoding of the registry store's texts: Windows-1252 bytes and their
// UTF-16LE form, and the registry's case folding.
//
// Contract: every function is total. Utf16ToAnsi maps what Windows-1252
// cannot hold to '?' (a surrogate pair is one '?') and drops an odd last
// byte; AnsiToUtf16 is its inverse for every Windows-1252 byte. FoldCase
// upper-cases ASCII, the accented letters and the four letters of
// 0x80-0x9F that have a case partner; everything else stays.
#pragma once

#include <string>
#include <string_view>

namespace spekolar {

namespace platform::registry {

unsigned char FoldCase(unsigned char c);
// The whole name in one case (the key of the lookup indexes).
std::string Folded(std::string_view s);

std::string Utf16ToAnsi(std::string_view bytes);
std::string AnsiToUtf16(std::string_view text);

}  // namespace platform::registry

}  // namespace spekolar
