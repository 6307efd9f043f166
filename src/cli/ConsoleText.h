// Text for the operator's terminal, and the nearest known name for a
// misspelt one.
//
// The program's texts are Windows-1252 bytes and stay so in its files. What
// the operator modes print goes to a terminal. On Linux it shows UTF-8 when
// its locale says so; the program never sets a locale itself (month names
// and upper-casing must not follow one), so the choice is made from the
// locale variables, as the C library would make it. On Windows the platform
// layer writes for the console (platform/Console.h) and the locale variables,
// which Windows does not set, play no part.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "platform/Env.h"

namespace spekolar::cli {

enum class ConsoleEncoding { kWindows1252, kUtf8 };

// The first of LC_ALL, LC_CTYPE and LANG that is set and not empty names
// the locale; UTF-8 when its code set (after '.', before '@') is UTF-8 or
// utf8 in any case, Windows-1252 otherwise (also without any of them, as on
// Windows).
ConsoleEncoding ConsoleEncodingOf(platform::Env* env);

// The encoding in which the program hands its text to the platform layer's
// console writer: Windows-1252 where that layer converts for the console
// (Windows), otherwise the locale's (ConsoleEncodingOf).
ConsoleEncoding ProgramConsoleEncoding(platform::Env* env);

// Windows-1252 bytes as UTF-8. The five bytes that the code page leaves
// undefined become U+0081 etc., as Windows converts them.
std::string Windows1252ToUtf8(std::string_view text);

// `text` (Windows-1252) in the console's encoding.
std::string ForConsole(std::string_view text, ConsoleEncoding encoding);

// Writes `text` (Windows-1252) to `out` in the console's encoding, inner
// NUL bytes included, through platform::WriteConsoleText.
void PrintForConsole(std::FILE* out, std::string_view text, ConsoleEncoding encoding);

// The Levenshtein distance (insertions, deletions, substitutions of one
// character), ASCII letters compared without regard to case.
size_t EditDistance(std::string_view a, std::string_view b);

// The candidate nearest to `name` by EditDistance (the first of equally
// near ones), when it is near enough to be what was meant: at most
// max(2, its length / 3) edits away and fewer edits than either name is
// long. Null otherwise.
const char* NearestName(std::string_view name, std::span<const char* const> candidates);

}  // namespace spekolar::cli
