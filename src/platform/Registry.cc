#include "platform/Registry.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/Env.h"

namespace platform {

// A root handle knows only its root; handles handed out by the open and
// create calls add the key path and the rights asked for.
struct HKEY__ {
  RegistryRoot root;
};

namespace registry_roots {
HKEY__ ClassesRoot{RegistryRoot::ClassesRoot};
HKEY__ CurrentUser{RegistryRoot::CurrentUser};
HKEY__ LocalMachine{RegistryRoot::LocalMachine};
HKEY__ Users{RegistryRoot::Users};
HKEY__ CurrentConfig{RegistryRoot::CurrentConfig};
}  // namespace registry_roots

namespace {

constexpr const char* kDefaultStorePath = "/etc/peldavorn/registry.reg";
constexpr const char* kStoreVariable = "SPEKOLAR_REGISTRY";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

struct OpenKey : HKEY__ {
  std::string path;
  REGSAM rights = 0;
};

// Handles currently open; anything else passed in is refused.
std::set<HKEY>& OpenHandles() {
  static std::set<HKEY> handles;
  return handles;
}

bool IsRootHandle(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS || key == HKEY_CURRENT_CONFIG;
}

bool IsValidHandle(HKEY key) {
  return key != nullptr && (IsRootHandle(key) || OpenHandles().count(key) != 0);
}

std::string HandlePath(HKEY key) {
  return IsRootHandle(key) ? std::string() : static_cast<OpenKey*>(key)->path;
}

REGSAM HandleRights(HKEY key) {
  return IsRootHandle(key) ? KEY_ALL_ACCESS : static_cast<OpenKey*>(key)->rights;
}

struct RootName {
  RegistryRoot root;
  std::string_view name;
};
constexpr RootName kRootNames[] = {
    {RegistryRoot::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
    {RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegistryRoot::Users, "HKEY_USERS"},
    {RegistryRoot::CurrentConfig, "HKEY_CURRENT_CONFIG"},
};

std::string_view RootToName(RegistryRoot root) {
  for (const RootName& r : kRootNames) {
    if (r.root == root) return r.name;
  }
  return "HKEY_LOCAL_MACHINE";
}

// Upper case in Windows-1252: ASCII, the accented letters and the four
// letters of the 0x80-0x9F range that have a case partner.
unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

// Joins a base path and a sub-key path, dropping empty parts.
std::string JoinPath(const std::string& base, LPCSTR sub) {
  std::string result = base;
  std::string_view rest = sub ? std::string_view(sub) : std::string_view();
  while (!rest.empty()) {
    size_t cut = rest.find('\\');
    std::string_view part = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (part.empty()) continue;
    if (!result.empty()) result += '\\';
    result.append(part);
  }
  return result;
}

// Whether `ancestor` is a proper ancestor of `path` (the root "" is one of
// every non-empty path).
bool IsAncestor(std::string_view ancestor, std::string_view path) {
  if (ancestor.empty()) return !path.empty();
  return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
         RegistryNamesEqual(ancestor, path.substr(0, ancestor.size()));
}

// ---- Text decoding --------------------------------------------------------

// Windows-1252 bytes 0x80-0x9F and the characters they stand for.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char CodeUnitToByte(uint16_t unit) {
  if (unit <= 0xFF) return static_cast<char>(unit);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// UTF-16LE bytes to Windows-1252; a surrogate pair is one character and so
// one '?'. An odd last byte is dropped.
std::string Utf16ToAnsi(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      uint16_t next = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i + 2]) |
                                            (static_cast<unsigned char>(bytes[i + 3]) << 8));
      if (next >= 0xDC00 && next <= 0xDFFF) i += 2;
      out += '?';
      continue;
    }
    out += CodeUnitToByte(unit);
  }
  return out;
}

// ---- Parsing --------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(s[i])) !=
        FoldCase(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to `maxDigits` hex digits and nothing else.
bool ParseHexNumber(std::string_view s, size_t maxDigits, DWORD* out) {
  if (s.empty() || s.size() > maxDigits) return false;
  DWORD value = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    value = (value << 4) | static_cast<DWORD>(d);
  }
  *out = value;
  return true;
}

// "xx,xx,..." (blanks allowed around the pairs, a trailing comma tolerated).
bool ParseHexBytes(std::string_view s, std::string* out) {
  out->clear();
  s = TrimBlanks(s);
  while (!s.empty()) {
    size_t comma = s.find(',');
    std::string_view token = TrimBlanks(s.substr(0, comma));
    s = comma == std::string_view::npos ? std::string_view() : s.substr(comma + 1);
    DWORD byte = 0;
    if (!ParseHexNumber(token, 2, &byte)) return false;
    out->push_back(static_cast<char>(byte));
    if (comma != std::string_view::npos && TrimBlanks(s).empty()) break;
  }
  return true;
}

// A quoted text starting at s[*pos] == '"', with \\ and \" the only escapes
// (any other backslash is kept as it stands). On success *pos is just past
// the closing quote.
bool ParseQuoted(std::string_view s, size_t* pos, std::string* out) {
  out->clear();
  size_t i = *pos;
  if (i >= s.size() || s[i] != '"') return false;
  ++i;
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out->push_back(s[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

RegistryStoreValue* FindValue(RegistryStoreKey* key, std::string_view name) {
  for (RegistryStoreValue& v : key->values) {
    if (RegistryNamesEqual(v.name, name)) return &v;
  }
  return nullptr;
}

void PutValue(RegistryStoreKey* key, std::string name, DWORD type, std::string data) {
  if (RegistryStoreValue* existing = FindValue(key, name)) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  key->values.push_back(RegistryStoreValue{std::move(name), type, std::move(data)});
}

// "[ROOT\path]" -> the key, added to the store if new; null for an unknown
// root or a deletion line.
RegistryStoreKey* ParseKeyLine(std::string_view line, RegistryStore* store) {
  size_t close = line.rfind(']');
  if (close == std::string_view::npos) return nullptr;
  std::string_view name = line.substr(1, close - 1);
  if (!name.empty() && name.front() == '-') return nullptr;
  size_t slash = name.find('\\');
  std::string_view rootName = name.substr(0, slash);
  std::string_view rest =
      slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
  for (const RootName& r : kRootNames) {
    if (!RegistryNamesEqual(rootName, r.name)) continue;
    std::string path = JoinPath(std::string(), std::string(rest).c_str());
    if (RegistryStoreKey* known = store->FindKey(r.root, path)) return known;
    store->keys.push_back(RegistryStoreKey{r.root, std::move(path), {}});
    return &store->keys.back();
  }
  return nullptr;
}

// Where the data of a value line starts (just past the '='), or npos when
// the line is not "name"=... or @=...; *name receives the value's name.
size_t ValueDataStart(std::string_view line, std::string* name) {
  size_t pos = 0;
  name->clear();
  if (line.empty()) return std::string_view::npos;
  if (line[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(line, &pos, name)) {
    return std::string_view::npos;
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return std::string_view::npos;
  return pos + 1;
}

bool IsHexValueLine(std::string_view line) {
  std::string name;
  size_t start = ValueDataStart(line, &name);
  return start != std::string_view::npos && StartsWithNoCase(TrimBlanks(line.substr(start)), "hex");
}

// One value line (hex continuations already joined) into the key; a line
// that does not parse is dropped.
void ParseValueLine(std::string_view line, bool unicodeFile, RegistryStoreKey* key) {
  std::string name;
  size_t start = ValueDataStart(line, &name);
  if (start == std::string_view::npos) return;
  std::string_view data = TrimBlanks(line.substr(start));

  if (data == "-") {
    auto& values = key->values;
    values.erase(std::remove_if(values.begin(), values.end(),
                                [&](const RegistryStoreValue& v) {
                                  return RegistryNamesEqual(v.name, name);
                                }),
                 values.end());
    return;
  }
  if (!data.empty() && data[0] == '"') {
    std::string text;
    size_t at = 0;
    if (!ParseQuoted(data, &at, &text)) return;
    text.push_back('\0');
    PutValue(key, std::move(name), REG_SZ, std::move(text));
    return;
  }
  if (StartsWithNoCase(data, "dword:")) {
    DWORD number = 0;
    if (!ParseHexNumber(TrimBlanks(data.substr(6)), 8, &number)) return;
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &number, 4);  // little-endian, as Windows keeps it
    PutValue(key, std::move(name), REG_DWORD, std::move(bytes));
    return;
  }
  if (StartsWithNoCase(data, "hex")) {
    DWORD type = REG_BINARY;
    std::string_view rest = data.substr(3);
    if (!rest.empty() && rest[0] == '(') {
      size_t close = rest.find(')');
      if (close == std::string_view::npos || !ParseHexNumber(rest.substr(1, close - 1), 8, &type)) {
        return;
      }
      rest = rest.substr(close + 1);
    }
    if (rest.empty() || rest[0] != ':') return;
    std::string bytes;
    if (!ParseHexBytes(rest.substr(1), &bytes)) return;
    if (unicodeFile && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
      bytes = Utf16ToAnsi(bytes);
    }
    PutValue(key, std::move(name), type, std::move(bytes));
  }
}

// ---- Writing --------------------------------------------------------------

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// A REG_SZ fits the "text" form when it is one line ending in exactly one
// terminator.
bool FitsStringForm(const std::string& data) {
  if (data.empty() || data.back() != '\0') return false;
  std::string_view text(data.data(), data.size() - 1);
  return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

void AppendHexValue(std::string* out, std::string_view prefix, const std::string& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line(prefix);
  for (size_t i = 0; i < data.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(data[i]);
    line += kDigits[b >> 4];
    line += kDigits[b & 0x0F];
    if (i + 1 == data.size()) break;
    line += ',';
    if (line.size() >= 76) {
      *out += line;
      *out += "\\\r\n";
      line = "  ";
    }
  }
  *out += line;
  *out += "\r\n";
}

LONG StatusToError(Status status) {
  switch (status) {
    case Status::kOk: return ERROR_SUCCESS;
    case Status::kAccessDenied: return ERROR_ACCESS_DENIED;
    case Status::kNotFound: return ERROR_FILE_NOT_FOUND;
    default: return ERROR_WRITE_FAULT;
  }
}

// ---- Store access ---------------------------------------------------------

// The store as it is on disk now: a missing file holds no keys and may be
// written; a file that cannot be read counts as unparsed.
RegistryStore LoadStore() {
  std::string bytes;
  Status status = GetEnv()->ReadWholeFile(RegistryStorePath(), &bytes);
  if (status == Status::kNotFound) return RegistryStore();
  if (status != Status::kOk) {
    RegistryStore unreadable;
    unreadable.parsed = false;
    return unreadable;
  }
  return ParseRegistryExport(bytes);
}

LONG SaveStore(RegistryStore* store) {
  store->parsed = true;
  return StatusToError(GetEnv()->WriteFileAtomically(RegistryStorePath(),
                                                      FormatRegistryExport(*store)));
}

bool StoreWritable() { return GetEnv()->IsWritable(RegistryStorePath()); }

bool AsksToWrite(REGSAM rights) { return (rights & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0; }

HKEY NewHandle(RegistryRoot root, std::string path, REGSAM rights) {
  OpenKey* handle = new OpenKey;
  handle->root = root;
  handle->path = std::move(path);
  handle->rights = rights;
  OpenHandles().insert(handle);
  return handle;
}

}  // namespace

// ---- Store ----------------------------------------------------------------

bool RegistryNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

RegistryStoreKey* RegistryStore::FindKey(RegistryRoot root, std::string_view path) {
  for (RegistryStoreKey& key : keys) {
    if (key.root == root && RegistryNamesEqual(key.path, path)) return &key;
  }
  return nullptr;
}

bool RegistryStore::KeyExists(RegistryRoot root, std::string_view path) const {
  if (path.empty()) return true;
  for (const RegistryStoreKey& key : keys) {
    if (key.root != root) continue;
    if (RegistryNamesEqual(key.path, path) || IsAncestor(path, key.path)) return true;
  }
  return false;
}

RegistryStore ParseRegistryExport(std::string_view bytes) {
  std::string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = Utf16ToAnsi(bytes.substr(2));
  } else {
    text.assign(bytes);
  }

  std::vector<std::string_view> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t lf = rest.find('\n');
    lines.push_back(rest.substr(0, lf));
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
  }

  RegistryStore store;
  size_t i = 0;
  while (i < lines.size() && TrimBlanks(lines[i]).empty()) ++i;
  // An empty file holds nothing that could be lost by writing it.
  if (i == lines.size()) return store;
  bool unicodeFile = false;
  if (TrimBlanks(lines[i]) == kHeader5) {
    unicodeFile = true;
  } else if (TrimBlanks(lines[i]) != kHeader4) {
    store.parsed = false;
    return store;
  }

  // Keys are found by index, as adding a key may move the others.
  long current = -1;
  for (++i; i < lines.size(); ++i) {
    std::string_view line = TrimBlanks(lines[i]);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      RegistryStoreKey* key = ParseKeyLine(line, &store);
      current = key ? static_cast<long>(key - store.keys.data()) : -1;
      continue;
    }
    // Hex data may continue over lines ending in '\', the rest indented.
    std::string joined(line);
    if (IsHexValueLine(joined)) {
      while (joined.back() == '\\' && i + 1 < lines.size()) {
        joined.pop_back();
        joined.append(TrimBlanks(lines[++i]));
      }
    }
    if (current < 0 || (joined[0] != '"' && joined[0] != '@')) continue;
    ParseValueLine(joined, unicodeFile, &store.keys[static_cast<size_t>(current)]);
  }
  return store;
}

std::string FormatRegistryExport(const RegistryStore& store) {
  std::string out;
  out += kHeader4;
  out += "\r\n\r\n";
  for (const RegistryStoreKey& key : store.keys) {
    out += '[';
    out += RootToName(key.root);
    if (!key.path.empty()) {
      out += '\\';
      out += key.path;
    }
    out += "]\r\n";
    for (const RegistryStoreValue& value : key.values) {
      std::string name = "@";
      if (!value.name.empty()) {
        name = "\"";
        name += Escape(value.name);
        name += '"';
      }
      if (value.type == REG_SZ && FitsStringForm(value.data)) {
        out += name + "=\"" + Escape(std::string_view(value.data).substr(0, value.data.size() - 1)) +
               "\"\r\n";
      } else if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        std::memcpy(&number, value.data.data(), 4);
        out += name + CString::Formatted("=dword:%08x\r\n", static_cast<unsigned>(number)).str();
      } else if (value.type == REG_BINARY) {
        AppendHexValue(&out, name + "=hex:", value.data);
      } else {
        CString prefix = CString::Formatted("=hex(%x):", static_cast<unsigned>(value.type));
        AppendHexValue(&out, name + prefix.str(), value.data);
      }
    }
    out += "\r\n";
  }
  return out;
}

CString RegistryStorePath() {
  std::string value;
  if (GetEnv()->GetVariable(kStoreVariable, &value) && !value.empty()) return CString(value);
  return CString(kDefaultStorePath);
}

// ---- The Windows functions -----------------------------------------------

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  std::string path = JoinPath(HandlePath(hKey), lpSubKey);
  bool writable = StoreWritable();
  if (AsksToWrite(samDesired) && !writable) return ERROR_ACCESS_DENIED;

  RegistryStore store = LoadStore();
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  if (!store.KeyExists(hKey->root, path)) {
    if (!writable) return ERROR_ACCESS_DENIED;
    if (!store.parsed) return ERROR_BADDB;
    store.keys.push_back(RegistryStoreKey{hKey->root, path, {}});
    LONG written = SaveStore(&store);
    if (written != ERROR_SUCCESS) return written;
    disposition = REG_CREATED_NEW_KEY;
  }
  *phkResult = NewHandle(hKey->root, std::move(path), samDesired);
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  std::string path = JoinPath(HandlePath(hKey), lpSubKey);
  if (!LoadStore().KeyExists(hKey->root, path)) return ERROR_FILE_NOT_FOUND;
  if (AsksToWrite(samDesired) && !StoreWritable()) return ERROR_ACCESS_DENIED;
  *phkResult = NewHandle(hKey->root, std::move(path), samDesired);
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  if ((HandleRights(hKey) & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  RegistryStore store = LoadStore();
  std::string path = HandlePath(hKey);
  if (!store.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass == 0) return ERROR_MORE_DATA;

  // Direct children: the next part of every listed key below this one.
  std::vector<std::string> children;
  for (const RegistryStoreKey& key : store.keys) {
    if (key.root != hKey->root || !IsAncestor(path, key.path)) continue;
    std::string_view below = std::string_view(key.path).substr(path.empty() ? 0 : path.size() + 1);
    std::string child(below.substr(0, below.find('\\')));
    bool known = std::any_of(children.begin(), children.end(),
                             [&](const std::string& c) { return RegistryNamesEqual(c, child); });
    if (!known) children.push_back(child);
  }
  DWORD maxChild = 0;
  for (const std::string& c : children) maxChild = std::max<DWORD>(maxChild, static_cast<DWORD>(c.size()));

  DWORD valueCount = 0, maxName = 0, maxData = 0;
  if (const RegistryStoreKey* key = store.FindKey(hKey->root, path)) {
    valueCount = static_cast<DWORD>(key->values.size());
    for (const RegistryStoreValue& v : key->values) {
      maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.name.size()));
      maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.data.size()));
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
  RegistryStore store = LoadStore();
  std::string path = HandlePath(hKey);
  if (!store.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  const RegistryStoreKey* key = store.FindKey(hKey->root, path);
  if (key == nullptr || dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryStoreValue& value = key->values[dwIndex];
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
  if ((HandleRights(hKey) & KEY_SET_VALUE) == 0 || !StoreWritable()) return ERROR_ACCESS_DENIED;
  RegistryStore store = LoadStore();
  std::string path = HandlePath(hKey);
  // A handle on a key that vanished from a readable store is stale. A store
  // that could not be parsed holds no keys and is replaced by this write.
  if (store.parsed && !store.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  RegistryStoreKey* key = store.FindKey(hKey->root, path);
  if (key == nullptr) {
    store.keys.push_back(RegistryStoreKey{hKey->root, path, {}});
    key = &store.keys.back();
  }
  std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  PutValue(key, lpValueName ? std::string(lpValueName) : std::string(), dwType, std::move(data));
  return SaveStore(&store);
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  if (IsRootHandle(hKey)) return ERROR_SUCCESS;
  if (OpenHandles().erase(hKey) == 0) return ERROR_INVALID_HANDLE;
  delete static_cast<OpenKey*>(hKey);
  return ERROR_SUCCESS;
}

}  // namespace platform
