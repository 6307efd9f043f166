// The registry's name comparison on Windows: the system's own. There is
// no store file here: the registry functions are the system's.
#include "platform/Registry.h"

#include <string>
#include <vector>

namespace spekolar::platform {

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

// Upper case by the invariant locale's table, the one the ordinal
// comparison above uses; the UTF-16 units' bytes are the folded name.
std::string RegistryFoldedName(std::string_view name) {
  std::wstring wide;
  if (!ToWide(name, &wide)) return std::string(name);
  if (!wide.empty()) {
    std::wstring upper(wide.size(), L'\0');
    int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                            static_cast<int>(wide.size()), upper.data(),
                            static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (n == static_cast<int>(upper.size())) wide = upper;
  }
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

CString RegistryStorePath() { return CString(); }

Status LastRegistryStoreRead() { return Status::kOk; }

}  // namespace spekolar::platform
