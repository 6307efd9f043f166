// The lossless parser of regedit export files, and the plain store model it
// yields.
//
// Contract: any bytes parse. The UTF-16LE file with byte-order mark and the
// 8-bit file are both read, with either header ("Windows Registry Editor
// Version 5.00" or "REGEDIT4") as the first non-blank line; the header
// decides whether hex(1)/hex(2)/hex(7) data are UTF-16LE (5.00) or 8-bit
// (REGEDIT4). Texts of a UTF-16 file become Windows-1252 bytes; characters
// outside it become '?'. Hex data continues over lines while a line ends in
// '\' and the next one holds data (a blank line, a key, a value or a
// comment line does not). Lines that cannot be understood (an unknown root,
// a malformed value) are skipped on their own; "[-KEY]" deletion lines are
// ignored together with the values below them, a value "name"=- removes that
// value. A key listed twice is merged. Bytes that are not blank and lack the
// header give parsed == false and no keys; blank bytes are an empty, parsed
// store.
//
// ExportFile keeps the file's own lines next to what they mean, so that the
// editor (ExportEditor.h) can change the lines it must and leave every other
// byte as it was. RegistryStore is the plain model: keys and values only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"

namespace spekolar::platform {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

struct RegistryStoreValue {
  std::string name;  // "" is the default value ("@")
  DWORD type = REG_NONE;
  // The bytes as the A functions hand them out: Windows-1252 texts, a REG_SZ
  // given as "text" in the file includes its terminating zero byte.
  std::string data;
};

struct RegistryStoreKey {
  RegistryRoot root = RegistryRoot::LocalMachine;
  std::string path;  // below the root, '\' between parts, "" for the root
  std::vector<RegistryStoreValue> values;  // in the order first met
};

struct RegistryStore {
  // False when the bytes were not a registry export (no header, or a file
  // that could not be read): such a store holds no keys, and it is never
  // written back except by an explicit RegSetValueExA.
  bool parsed = true;
  std::vector<RegistryStoreKey> keys;  // in the order first met

  // The listed key of that name, or null.
  RegistryStoreKey* FindKey(RegistryRoot root, std::string_view path);
  // Listed, an ancestor of a listed key, or a root.
  bool KeyExists(RegistryRoot root, std::string_view path) const;
};

// Whether two stores hold the same keys and values in the same order.
bool SameRegistryStore(const RegistryStore& a, const RegistryStore& b);

// Parses an export file (the contract above).
RegistryStore ParseRegistryExport(std::string_view bytes);

namespace registry {

inline constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kHeader4 = "REGEDIT4";

// "HKEY_LOCAL_MACHINE" and the other root names as an export writes them.
std::string_view RootName(RegistryRoot root);

// The text without blanks, tabs and CRs at either end.
std::string_view TrimBlanks(std::string_view s);

// Joins a base path and a sub-key path, dropping empty parts.
std::string JoinPath(const std::string& base, const char* sub);

// Whether `ancestor` is a proper ancestor of `path` (the root "" is one of
// every non-empty path).
bool IsAncestor(std::string_view ancestor, std::string_view path);

// A value and where its effective (last) definition stands in the file:
// lines first..last (several for hex data continued over lines).
struct SourceValue {
  RegistryStoreValue value;
  size_t first = 0;
  size_t last = 0;
};

struct SourceKey {
  RegistryRoot root = RegistryRoot::LocalMachine;
  std::string path;
  std::vector<SourceValue> values;  // in the order first met
  std::unordered_map<std::string, size_t> valueIndex;  // folded name -> index
  // The line after the last header or value line of the key's last block:
  // where a new value of the key goes.
  size_t insertAt = 0;

  SourceValue* Find(std::string_view name);
  // A value of the same name is replaced in place (keeping its position
  // among the values); otherwise the value is appended.
  void Put(RegistryStoreValue value, size_t first, size_t last);
  void Remove(std::string_view name);
};

// An export file taken apart: its lines as they stand, and the keys and
// values they define.
struct ExportFile {
  bool parsed = true;      // false: bytes that are not an export
  bool hasHeader = false;  // false also for a missing or blank file
  bool unicode = false;    // UTF-16LE with byte-order mark
  // The header, not the encoding, decides how the texts of hex(1), hex(2)
  // and hex(7) data are stored: UTF-16LE under "5.00", 8-bit under
  // "REGEDIT4", whichever encoding the file itself has.
  bool unicodeData = false;
  std::string bom;               // the byte-order mark, kept apart from the lines
  std::string eol = "\r\n";      // the file's line end, as text
  std::vector<std::string> raw;  // the file's bytes, line by line, ends included
  std::vector<SourceKey> keys;   // in the order first met
  std::unordered_map<std::string, size_t> keyIndex;  // root and folded path -> index

  SourceKey* FindKey(RegistryRoot root, std::string_view path);
  const SourceKey* FindKey(RegistryRoot root, std::string_view path) const;
  SourceKey* AddKey(RegistryRoot root, std::string path);
  // Listed, an ancestor of a listed key, or a root.
  bool KeyExists(RegistryRoot root, std::string_view path) const;
  RegistryStore ToStore() const;

  // The text of line i, decoded, without its line end.
  std::string Text(size_t i) const;
  // In a UTF-16 file only a whole code unit 0x000A ends a line: the last
  // line may hold an odd byte, after which "0A 00" are the halves of two
  // different units.
  bool EndsWithLineEnd(size_t i) const;
};

ExportFile ParseExportFile(std::string_view bytes);

}  // namespace registry
}  // namespace spekolar::platform
