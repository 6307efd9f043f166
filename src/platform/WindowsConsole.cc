// Console text on Windows: UTF-16 to a console, the console's code page to
// a file or a pipe (platform/Console.h).
#include "platform/Console.h"

#include <io.h>

#include <algorithm>

#include "platform/WindowsHeaders.h"

namespace spekolar::platform {

namespace {

constexpr UINT kWindows1252 = 1252;

std::wstring Wide(std::string_view text) {
  std::wstring wide;
  if (text.empty()) return wide;
  const int size = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(kWindows1252, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return wide;
  wide.resize(static_cast<size_t>(n));
  ::MultiByteToWideChar(kWindows1252, 0, text.data(), size, wide.data(), n);
  return wide;
}

// The system handle under a stdio stream; INVALID_HANDLE_VALUE when it has
// none (a stream without a descriptor, or standard output of a program
// started without one).
HANDLE HandleOf(std::FILE* stream) {
  const int descriptor = _fileno(stream);
  if (descriptor < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

bool IsConsole(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return false;
  DWORD mode = 0;
  return ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode) != 0;
}

// All of `text` through WriteConsoleW, in pieces (older consoles refuse
// single writes of more than about 64 KiB). False when the console took
// none of it, so that the caller can write it another way without doubling
// a part.
bool WriteWide(HANDLE console, const std::wstring& text) {
  constexpr size_t kPiece = 8192;
  for (size_t at = 0; at < text.size();) {
    const DWORD count = static_cast<DWORD>(std::min(kPiece, text.size() - at));
    DWORD written = 0;
    if (!::WriteConsoleW(console, text.data() + at, count, &written, nullptr) || written == 0) {
      return at > 0;
    }
    at += written;
  }
  return true;
}

}  // namespace

bool ConsoleConvertsText() { return true; }

std::string Windows1252ToCodePage(std::string_view text, unsigned codePage) {
  const std::wstring wide = Wide(text);
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const int n = ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string(text);
  std::string bytes(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), size, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

void WriteConsoleText(std::FILE* stream, std::string_view text) {
  std::fflush(stream);
  const HANDLE handle = HandleOf(stream);
  if (IsConsole(handle)) {
    // The C runtime's text mode is bypassed here, so its LF to CR LF too.
    std::wstring wide;
    for (wchar_t c : Wide(text)) {
      if (c == L'\n') wide += L'\r';
      wide += c;
    }
    if (WriteWide(handle, wide)) return;
  }
  UINT codePage = ::GetConsoleOutputCP();
  if (codePage == 0) codePage = ::GetOEMCP();
  const std::string bytes = Windows1252ToCodePage(text, codePage);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

}  // namespace spekolar::platform
