// The registry's name comparison on Windows: the system's own.
#include "platform/Registry.h"

#include <string>
#include <vector>

namespace platform {

namespace {

// The text as UTF-16 from the ANSI code page; false when it is not valid.
bool ToWide(std::string_view text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  return ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                               wide->data(), n) == n;
}

}  // namespace

// The registry compares names as the file system does: each character
// upper-cased by the system's table, then compared by value. That is
// CompareStringOrdinal with its case flag.
bool RegistryNamesEqual(std::string_view a, std::string_view b) {
  std::wstring wa, wb;
  if (!ToWide(a, &wa) || !ToWide(b, &wb)) return a == b;
  return ::CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace platform
