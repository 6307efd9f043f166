#include "config/InstallationPath.h"

#include <string_view>

#include "config/RegistryKey.h"

namespace spekolar {

namespace {

constexpr const char* kProductKey = "Software\\KORVANE\\PELDAVORN";
constexpr const char* kPathValue = "Path";
constexpr const char* kLogBelowInstallation = "htdocs\\PELDAVORN\\peldavorn_php\\log";

}  // namespace

InstallationPath::InstallationPath() {
  Read(0, platform::KEY_READ);
  keyMissing_ = keyResult_ == platform::ERROR_FILE_NOT_FOUND;
  if (!keyMissing_) return;
  // Missing: created empty where the registry may be written, as the
  // product's own programs do.
  Read(RegistryKey::CreateIfMissing, platform::KEY_QUERY_VALUE | platform::KEY_SET_VALUE);
  keyCreated_ = keyFound_;
}

InstallationPath::InstallationPath(ReadOnly) {
  Read(0, platform::KEY_READ);
  keyMissing_ = keyResult_ == platform::ERROR_FILE_NOT_FOUND;
}

const char* InstallationPath::KeyPath() { return kProductKey; }

platform::LONG InstallationPath::ProbeKeyCreation() {
  CString path = kProductKey;
  for (;;) {
    platform::HKEY probe = nullptr;
    platform::LONG result = platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, path.c_str(), 0,
                                                    platform::KEY_CREATE_SUB_KEY, &probe);
    if (probe != nullptr) platform::RegCloseKey(probe);
    if (result != platform::ERROR_FILE_NOT_FOUND || path.IsEmpty()) return result;
    // Not there: its parent would have to take the new key.
    const size_t slash = path.view().rfind('\\');
    path = slash == std::string_view::npos ? CString() : path.Left(static_cast<int>(slash));
  }
}

void InstallationPath::Read(unsigned mode, platform::REGSAM access) {
  RegistryKey key(mode);
  // Failure needs no check: an unopened key has no values, so "Path" below
  // has none either.
  keyFound_ = key.OpenKey(kProductKey, platform::HKEY_LOCAL_MACHINE, access, false);
  keyResult_ = key.LastOpenResult();
  RegistryValue& path = key.Value(kPathValue);
  if (path.HasValue()) directory_ = path.AsString();
  key.CloseKey();
  storeStatus_ = platform::LastRegistryStoreRead();
}

CString InstallationPath::GetLogDirectory() const {
  if (directory_.IsEmpty()) return CString();
  CString result = directory_;
  if (result.GetAt(result.GetLength() - 1) != '\\') result += '\\';
  result += kLogBelowInstallation;
  return result;
}

}  // namespace spekolar
