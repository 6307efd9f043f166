// The registry store: any bytes, in either encoding, parse; what the
// program writes reads back as written; and an edit of the operator's file
// (the product key created, a value set) always succeeds on a store that
// parsed, keeps the bytes before it and reads back as the store plus the
// change.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/InstallationPath.h"
#include "fuzz/Fail.h"
#include "platform/Registry.h"
#include "platform/registry/ExportEditor.h"
#include "platform/registry/Hive.h"
#include "support/MemoryEnv.h"

namespace spekolar {

using spkfuzz::Fail;
using namespace platform;

namespace {

const char kStore[] = "C:\\reg\\store.reg";

std::string Widened(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

bool Wide(const std::string& file) {
  return file.size() >= 2 && file[0] == '\xFF' && file[1] == '\xFE';
}

// The bytes that hold characters: the odd last byte of a UTF-16 file is
// none, for the parser as for a write.
size_t CharacterBytes(const std::string& file) {
  return Wide(file) ? file.size() - file.size() % 2 : file.size();
}

// Whether the file holds nothing but blanks and line ends (in either
// encoding): such a store is written anew, in the program's own form.
bool BlankFile(const std::string& file) {
  const bool wide = Wide(file);
  const size_t end = CharacterBytes(file);
  for (size_t i = wide ? 2 : 0; i < end; i += wide ? 2 : 1) {
    const char c = file[i];
    if ((c != ' ' && c != '\t' && c != '\r' && c != '\n') || (wide && file[i + 1] != 0)) {
      return false;
    }
  }
  return true;
}

}  // namespace

}  // namespace spekolar

using namespace spekolar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 3) return 0;
  // Byte 0: the form of the file; byte 1: the type of the value set; byte
  // 2: where the input splits into file and value data.
  const uint8_t form = bytes[0] % 4;
  const DWORD types[] = {REG_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_EXPAND_SZ, REG_NONE};
  const DWORD type = types[bytes[1] % 6];
  std::string_view rest(reinterpret_cast<const char*>(bytes + 3), size - 3);
  const size_t split = std::min<size_t>(bytes[2], rest.size());
  const std::string_view valueData = rest.substr(0, split);
  rest.remove_prefix(split);
  std::string file;
  switch (form) {
    case 0: file.assign(rest); break;                         // as it comes
    case 1: file = "\xFF\xFE" + std::string(rest); break;     // UTF-16 units as they come
    case 2: file = "REGEDIT4\r\n" + std::string(rest); break;  // 8-bit export
    default:                                                   // UTF-16 export
      file = "\xFF\xFE" + Widened("Windows Registry Editor Version 5.00\r\n") + Widened(rest);
  }

  RegistryStore store = ParseRegistryExport(file);
  if (store.parsed) {
    RegistryStore again = ParseRegistryExport(FormatRegistryExport(store));
    if (!SameRegistryStore(store, again)) Fail("a written store does not read back as written");
  }

  spktest::MemoryEnv env;
  env.files[kStore] = file;
  env.variables["SPEKOLAR_REGISTRY"] = kStore;
  ScopedEnv scoped(&env);
  ScopedRegistryHive hive;  // nothing kept from an earlier input
  {
    InstallationPath installation;  // opens or creates the product key
  }
  const std::string afterCreate = env.files[kStore];
  if (store.parsed && !ParseRegistryExport(afterCreate).parsed) Fail("creating the key spoiled the store");
  // Bytes before the new key stay (a last line without its end gets one).
  if (store.parsed && afterCreate != file && !BlankFile(file)) {
    size_t keep = CharacterBytes(file);
    while (keep > 0 && file[keep - 1] != '\n') --keep;
    if (afterCreate.compare(0, keep, file, 0, keep) != 0) Fail("creating the key changed earlier bytes");
  }

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KORVANE\\PELDAVORN", 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    if (store.parsed) Fail("the created key cannot be opened");
    return 0;
  }
  RegistryStore before = ParseRegistryExport(env.files[kStore]);
  const std::string name(valueData.substr(0, valueData.size() / 3));
  const std::string data(valueData.substr(valueData.size() / 3));
  LONG result = RegSetValueExA(key, name.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  const std::string storedName = name.substr(0, name.find('\0'));
  if (storedName.find('\n') != std::string::npos) {
    if (result != ERROR_INVALID_PARAMETER) Fail("a name with a line break was not refused");
    return 0;
  }
  if (result != ERROR_SUCCESS) Fail("setting a value on a readable store failed");
  RegistryStore after = ParseRegistryExport(env.files[kStore]);
  RegistryStoreKey* product = after.FindKey(RegistryRoot::LocalMachine, "Software\\KORVANE\\PELDAVORN");
  if (product == nullptr) Fail("the key is gone after setting a value");
  bool found = false;
  for (const RegistryStoreValue& v : product->values) {
    if (RegistryNamesEqual(v.name, storedName)) found = v.type == type && v.data == data;
  }
  if (!found) Fail("the value set does not read back");
  if (after.keys.size() < before.keys.size()) Fail("setting a value lost a key");
  return 0;
}
