#include "config/InstallationPath.h"

#include "config/RegistryKey.h"

namespace {

constexpr const char* kProductKey = "Software\\KORVANE\\PELDAVORN";
constexpr const char* kPathValue = "Path";
constexpr const char* kLogBelowInstallation = "htdocs\\PELDAVORN\\peldavorn_php\\log";

}  // namespace

InstallationPath::InstallationPath() {
  Read(RegistryKey::CreateIfMissing, platform::KEY_QUERY_VALUE | platform::KEY_SET_VALUE);
}

InstallationPath::InstallationPath(ReadOnly) { Read(0, platform::KEY_QUERY_VALUE); }

void InstallationPath::Read(unsigned mode, platform::REGSAM access) {
  RegistryKey key(mode);
  // Failure needs no check: an unopened key has no values, so "Path" below
  // has none either.
  keyFound_ = key.OpenKey(kProductKey, platform::HKEY_LOCAL_MACHINE, access, false);
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
