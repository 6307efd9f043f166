// The stand-ins for the Windows registry functions (declared in
// platform/Registry.h, where their contract is), over the current hive.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/Registry.h"
#include "platform/registry/Decoding.h"
#include "platform/registry/Hive.h"

namespace spekolar::platform {

namespace registry_roots {
HKEY__ ClassesRoot{RegistryRoot::ClassesRoot};
HKEY__ CurrentUser{RegistryRoot::CurrentUser};
HKEY__ LocalMachine{RegistryRoot::LocalMachine};
HKEY__ Users{RegistryRoot::Users};
HKEY__ CurrentConfig{RegistryRoot::CurrentConfig};
}  // namespace registry_roots

namespace {

using registry::IsAncestor;
using registry::JoinPath;
using registry::OpenKey;

bool IsRootHandle(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS || key == HKEY_CURRENT_CONFIG;
}

bool IsValidHandle(HKEY key) {
  return key != nullptr && (IsRootHandle(key) || CurrentRegistryHive().HoldsHandle(key));
}

std::string HandlePath(HKEY key) {
  return IsRootHandle(key) ? std::string() : static_cast<OpenKey*>(key)->path;
}

REGSAM HandleRights(HKEY key) {
  return IsRootHandle(key) ? KEY_ALL_ACCESS : static_cast<OpenKey*>(key)->rights;
}

bool AsksToWrite(REGSAM rights) { return (rights & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0; }

// One call on the current hive; its end drops the kept store unless a
// handle is open.
class CallScope {
 public:
  CallScope() : hive_(CurrentRegistryHive()) {}
  ~CallScope() { hive_.EndCall(); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  RegistryHive& hive() { return hive_; }

 private:
  RegistryHive& hive_;
};

}  // namespace

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  CallScope call;
  RegistryHive& hive = call.hive();
  std::string path = JoinPath(HandlePath(hKey), lpSubKey);
  if (path.find('\n') != std::string::npos) return ERROR_INVALID_PARAMETER;
  bool writable = hive.Writable();
  if (AsksToWrite(samDesired) && !writable) return ERROR_ACCESS_DENIED;

  const registry::ExportFile& file = hive.Load().file;
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  if (!file.KeyExists(hKey->root, path)) {
    if (!writable) return ERROR_ACCESS_DENIED;
    if (!file.parsed) return ERROR_BADDB;
    LONG written = hive.AddKey(hKey->root, path);
    if (written != ERROR_SUCCESS) return written;
    disposition = REG_CREATED_NEW_KEY;
  }
  *phkResult = hive.OpenHandle(hKey->root, std::move(path), samDesired);
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  CallScope call;
  RegistryHive& hive = call.hive();
  std::string path = JoinPath(HandlePath(hKey), lpSubKey);
  if (!hive.Load().file.KeyExists(hKey->root, path)) return ERROR_FILE_NOT_FOUND;
  if (AsksToWrite(samDesired) && !hive.Writable()) return ERROR_ACCESS_DENIED;
  *phkResult = hive.OpenHandle(hKey->root, std::move(path), samDesired);
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  if ((HandleRights(hKey) & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  CallScope call;
  const registry::ExportFile& file = call.hive().Load().file;
  std::string path = HandlePath(hKey);
  if (!file.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass == 0) return ERROR_MORE_DATA;

  // Direct children: the next part of every listed key below this one.
  std::vector<std::string> children;
  std::unordered_map<std::string, bool> seen;
  for (const registry::SourceKey& key : file.keys) {
    if (key.root != hKey->root || !IsAncestor(path, key.path)) continue;
    std::string_view below = std::string_view(key.path).substr(path.empty() ? 0 : path.size() + 1);
    std::string child(below.substr(0, below.find('\\')));
    if (seen.emplace(registry::Folded(child), true).second) children.push_back(child);
  }
  DWORD maxChild = 0;
  for (const std::string& c : children) maxChild = std::max<DWORD>(maxChild, static_cast<DWORD>(c.size()));

  DWORD valueCount = 0, maxName = 0, maxData = 0;
  if (const registry::SourceKey* key = file.FindKey(hKey->root, path)) {
    valueCount = static_cast<DWORD>(key->values.size());
    for (const registry::SourceValue& v : key->values) {
      maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.value.name.size()));
      maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.value.data.size()));
    }
  }

  if (lpClass != nullptr && lpcchClass != nullptr) lpClass[0] = '\0';
  if (lpcchClass) *lpcchClass = 0;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(children.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxChild;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = valueCount;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  if (lpValueName == nullptr || lpcchValueName == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  if ((HandleRights(hKey) & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  CallScope call;
  const registry::ExportFile& file = call.hive().Load().file;
  std::string path = HandlePath(hKey);
  if (!file.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  const registry::SourceKey* key = file.FindKey(hKey->root, path);
  if (key == nullptr || dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryStoreValue& value = key->values[dwIndex].value;
  const DWORD size = static_cast<DWORD>(value.data.size());

  if (value.name.size() + 1 > *lpcchValueName) {
    if (lpcbData) *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData != nullptr && size > *lpcbData) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(value.name.size());
  if (lpType) *lpType = value.type;
  if (lpData != nullptr && size > 0) std::memcpy(lpData, value.data.data(), size);
  if (lpcbData) *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  if (lpData == nullptr && cbData > 0) return ERROR_INVALID_PARAMETER;
  RegistryHive& hive = CurrentRegistryHive();
  if ((HandleRights(hKey) & KEY_SET_VALUE) == 0 || !hive.Writable()) return ERROR_ACCESS_DENIED;
  // An export holds one value per line: a name with a line break has no form.
  if (lpValueName != nullptr && std::strchr(lpValueName, '\n') != nullptr) return ERROR_INVALID_PARAMETER;
  CallScope call;
  const registry::ExportFile& file = hive.Load().file;
  std::string path = HandlePath(hKey);
  // A handle on a key that vanished from a readable store is stale. A store
  // that could not be parsed holds no keys and is replaced by this write.
  if (file.parsed && !file.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  RegistryStoreValue value{lpValueName ? std::string(lpValueName) : std::string(), dwType,
                           std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0)};
  return hive.SetValue(hKey->root, path, std::move(value));
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  if (IsRootHandle(hKey)) return ERROR_SUCCESS;
  return CurrentRegistryHive().CloseHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace spekolar::platform
