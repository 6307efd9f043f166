// Text for the operator's console: the program's Windows-1252 text as the
// system's console shows it.
//
// On Windows the console is the system's business: a console window shows
// UTF-16 text written through its wide-character interface whatever its code
// page, and a redirected stream is read by other programs in the console's
// output code page (850 or 437 in Western Europe, not 1252). On the other
// systems the bytes reach the terminal unchanged; there the caller picks
// their encoding (the locale rule of cli/ConsoleText.h).
//
// Every console write of spekolar goes through WriteConsoleText
// (spekolar-encrypt prints ASCII only). The files a pass writes are not
// console text: they stay Windows-1252.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace spekolar::platform {

// True where WriteConsoleText converts the program's Windows-1252 text for
// the console (Windows); false where it writes the bytes unchanged.
bool ConsoleConvertsText();

// Writes `text` to `stream`, after flushing what stdio holds for it so that
// the order of writes stays.
// Windows: when the stream is a console (GetFileType gives FILE_TYPE_CHAR and
// GetConsoleMode succeeds) the text is converted from Windows-1252 to UTF-16
// and written with WriteConsoleW, each LF as CR LF; otherwise (a file, a
// pipe) it goes through the stream as bytes in the console's output code
// page (GetConsoleOutputCP; the OEM code page, GetOEMCP, for a process
// without a console), LF written as CR LF by the stream's text mode.
// Elsewhere: the bytes as they are.
void WriteConsoleText(std::FILE* stream, std::string_view text);

#ifdef _WIN32
// Windows-1252 text in code page `codePage`, as WideCharToMultiByte gives
// it: a character the code page lacks becomes its nearest form there ("Ü"
// is "U" in code page 866) or the default character '?'. Inner NUL bytes
// stay.
std::string Windows1252ToCodePage(std::string_view text, unsigned codePage);
#endif

}  // namespace spekolar::platform
