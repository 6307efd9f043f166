#include "platform/Registry.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_map>

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

// Upper-case form of a name: the key of the lookup indexes, so that a name
// is found without regard to case in one step.
std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  return out;
}

std::string KeyIndexName(RegistryRoot root, std::string_view path) {
  std::string name(1, static_cast<char>('0' + static_cast<int>(root)));
  name += Folded(path);
  return name;
}

// ---- The store file, taken apart ------------------------------------------
//
// Reading keeps the file's own lines next to what they mean, so that a
// write can change the lines it must (a new key, a new or changed value)
// and leave every other byte as it was: comments, lines that could not be
// understood, keys under roots not known here, the encoding and the line
// ends.

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

  SourceValue* Find(std::string_view name) {
    auto it = valueIndex.find(Folded(name));
    return it == valueIndex.end() ? nullptr : &values[it->second];
  }
  // A value of the same name is replaced in place (keeping its position
  // among the values); otherwise the value is appended.
  void Put(RegistryStoreValue value, size_t first, size_t last) {
    if (SourceValue* existing = Find(value.name)) {
      existing->value.type = value.type;
      existing->value.data = std::move(value.data);
      existing->first = first;
      existing->last = last;
      return;
    }
    valueIndex.emplace(Folded(value.name), values.size());
    values.push_back(SourceValue{std::move(value), first, last});
  }
  void Remove(std::string_view name) {
    auto it = valueIndex.find(Folded(name));
    if (it == valueIndex.end()) return;
    values.erase(values.begin() + static_cast<long>(it->second));
    valueIndex.clear();
    for (size_t i = 0; i < values.size(); ++i) valueIndex.emplace(Folded(values[i].value.name), i);
  }
};

struct SourceFile {
  bool parsed = true;     // false: bytes that are not an export
  bool hasHeader = false; // false also for a missing or blank file
  bool unicode = false;   // UTF-16LE with byte-order mark
  // The header, not the encoding, decides how the texts of hex(1), hex(2)
  // and hex(7) data are stored: UTF-16LE under "5.00", 8-bit under
  // "REGEDIT4", whichever encoding the file itself has.
  bool unicodeData = false;
  std::string bom;        // the byte-order mark, kept apart from the lines
  std::string eol = "\r\n";        // the file's line end, as text
  std::vector<std::string> raw;    // the file's bytes, line by line, ends included
  std::vector<SourceKey> keys;     // in the order first met
  std::unordered_map<std::string, size_t> keyIndex;  // KeyIndexName -> index

  SourceKey* FindKey(RegistryRoot root, std::string_view path) {
    auto it = keyIndex.find(KeyIndexName(root, path));
    return it == keyIndex.end() ? nullptr : &keys[it->second];
  }
  const SourceKey* FindKey(RegistryRoot root, std::string_view path) const {
    auto it = keyIndex.find(KeyIndexName(root, path));
    return it == keyIndex.end() ? nullptr : &keys[it->second];
  }
  SourceKey* AddKey(RegistryRoot root, std::string path) {
    keyIndex.emplace(KeyIndexName(root, path), keys.size());
    keys.push_back(SourceKey{root, std::move(path), {}, {}, 0});
    return &keys.back();
  }
  // Listed, an ancestor of a listed key, or a root.
  bool KeyExists(RegistryRoot root, std::string_view path) const {
    if (path.empty() || FindKey(root, path) != nullptr) return true;
    for (const SourceKey& key : keys) {
      if (key.root == root && IsAncestor(path, key.path)) return true;
    }
    return false;
  }

  RegistryStore ToStore() const {
    RegistryStore store;
    store.parsed = parsed;
    for (const SourceKey& key : keys) {
      RegistryStoreKey out{key.root, key.path, {}};
      for (const SourceValue& v : key.values) out.values.push_back(v.value);
      store.keys.push_back(std::move(out));
    }
    return store;
  }

  // The text of line i, decoded, without its line end.
  std::string Text(size_t i) const {
    std::string_view line = raw[i];
    if (unicode) {
      if (EndsWithLineEnd(i)) line.remove_suffix(2);
      return Utf16ToAnsi(line);
    }
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    return std::string(line);
  }
  // In a UTF-16 file only a whole code unit 0x000A ends a line: the last
  // line may hold an odd byte, after which "0A 00" are the halves of two
  // different units.
  bool EndsWithLineEnd(size_t i) const {
    std::string_view line = raw[i];
    return unicode ? line.size() >= 2 && line.size() % 2 == 0 && line[line.size() - 2] == '\n' &&
                         line.back() == '\0'
                   : !line.empty() && line.back() == '\n';
  }
};

// The bytes of a Windows-1252 text in the file's encoding.
std::string Encode(bool unicode, std::string_view text) {
  if (!unicode) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    uint16_t unit = c;
    if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] != 0) unit = kCp1252High[c - 0x80];
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

// Splits the bytes into lines, each with its line end: at LF bytes, or in
// a UTF-16 file at LF code units.
void SplitLines(std::string_view bytes, SourceFile* file) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    file->unicode = true;
    file->bom.assign(bytes.substr(0, 2));
    bytes.remove_prefix(2);
  }
  size_t start = 0;
  if (file->unicode) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] == '\n' && bytes[i + 1] == '\0') {
        file->raw.emplace_back(bytes.substr(start, i + 2 - start));
        start = i + 2;
      }
    }
  } else {
    for (size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n', start)) {
      file->raw.emplace_back(bytes.substr(start, lf + 1 - start));
      start = lf + 1;
    }
  }
  if (start < bytes.size()) file->raw.emplace_back(bytes.substr(start));
  for (size_t i = 0; i < file->raw.size(); ++i) {
    if (!file->EndsWithLineEnd(i)) continue;
    std::string text = file->Text(i);
    file->eol = !text.empty() && text.back() == '\r' ? "\r\n" : "\n";
    break;
  }
}

// "[ROOT\path]" -> the key, added if new; null for an unknown root or a
// deletion line.
SourceKey* ParseKeyLine(std::string_view line, SourceFile* file) {
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
    if (SourceKey* known = file->FindKey(r.root, path)) return known;
    return file->AddKey(r.root, std::move(path));
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

// One value line (hex continuations already joined), standing on lines
// first..last, into the key; a line that does not parse is dropped.
void ParseValueLine(std::string_view line, bool unicodeFile, SourceKey* key, size_t first,
                    size_t last) {
  std::string name;
  size_t start = ValueDataStart(line, &name);
  if (start == std::string_view::npos) return;
  std::string_view data = TrimBlanks(line.substr(start));

  if (data == "-") {
    key->Remove(name);
    return;
  }
  if (!data.empty() && data[0] == '"') {
    std::string text;
    size_t at = 0;
    if (!ParseQuoted(data, &at, &text)) return;
    text.push_back('\0');
    key->Put(RegistryStoreValue{std::move(name), REG_SZ, std::move(text)}, first, last);
    return;
  }
  if (StartsWithNoCase(data, "dword:")) {
    DWORD number = 0;
    if (!ParseHexNumber(TrimBlanks(data.substr(6)), 8, &number)) return;
    std::string bytes(4, '\0');
    std::memcpy(bytes.data(), &number, 4);  // little-endian, as Windows keeps it
    key->Put(RegistryStoreValue{std::move(name), REG_DWORD, std::move(bytes)}, first, last);
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
    key->Put(RegistryStoreValue{std::move(name), type, std::move(bytes)}, first, last);
  }
}

bool ContinuesHexData(std::string_view text) {
  std::string_view line = TrimBlanks(text);
  return !line.empty() && line[0] != '[' && line[0] != '"' && line[0] != '@' && line[0] != ';' &&
         line[0] != '#';
}

SourceFile ParseSource(std::string_view bytes) {
  SourceFile file;
  SplitLines(bytes, &file);
  std::vector<std::string> texts;
  texts.reserve(file.raw.size());
  for (size_t i = 0; i < file.raw.size(); ++i) texts.push_back(file.Text(i));

  size_t i = 0;
  while (i < texts.size() && TrimBlanks(texts[i]).empty()) ++i;
  // An empty file holds nothing that could be lost by writing it.
  if (i == texts.size()) return file;
  if (TrimBlanks(texts[i]) != kHeader5 && TrimBlanks(texts[i]) != kHeader4) {
    file.parsed = false;
    return file;
  }
  file.hasHeader = true;
  file.unicodeData = TrimBlanks(texts[i]) == kHeader5;

  // Keys are found by index, as adding a key may move the others.
  long current = -1;
  for (++i; i < texts.size(); ++i) {
    std::string_view line = TrimBlanks(texts[i]);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      SourceKey* key = ParseKeyLine(line, &file);
      current = key ? static_cast<long>(key - file.keys.data()) : -1;
      if (key) key->insertAt = i + 1;
      continue;
    }
    // Hex data may continue over lines ending in '\', the rest indented.
    // Only a line that can hold data continues it: a blank line, a key, a
    // value or a comment never does, so that what follows a dangling '\'
    // (at the end of the file, say) keeps its own meaning.
    const size_t first = i;
    std::string joined(line);
    if (IsHexValueLine(joined)) {
      while (joined.back() == '\\' && i + 1 < texts.size() && ContinuesHexData(texts[i + 1])) {
        joined.pop_back();
        joined.append(TrimBlanks(texts[++i]));
      }
    }
    if (current < 0) continue;
    SourceKey& key = file.keys[static_cast<size_t>(current)];
    key.insertAt = i + 1;
    if (joined[0] != '"' && joined[0] != '@') continue;
    ParseValueLine(joined, file.unicodeData, &key, first, i);
  }
  return file;
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

// Hex data as export lines: comma-separated lower-case pairs, a line ended
// by '\' once it reaches 76 characters, the next one indented.
void AppendHexLines(std::vector<std::string>* lines, std::string prefix, const std::string& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line = std::move(prefix);
  for (size_t i = 0; i < data.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(data[i]);
    line += kDigits[b >> 4];
    line += kDigits[b & 0x0F];
    if (i + 1 == data.size()) break;
    line += ',';
    if (line.size() >= 76) {
      lines->push_back(line + "\\");
      line = "  ";
    }
  }
  lines->push_back(line);
}

// One value as the lines of an export, without line ends. In a "5.00"
// file the texts of hex(1), hex(2) and hex(7) data are UTF-16LE.
std::vector<std::string> FormatValueLines(const RegistryStoreValue& value, bool unicodeData) {
  std::vector<std::string> lines;
  std::string name = "@";
  if (!value.name.empty()) name = "\"" + Escape(value.name) + "\"";
  if (value.type == REG_SZ && FitsStringForm(value.data)) {
    lines.push_back(name + "=\"" +
                    Escape(std::string_view(value.data).substr(0, value.data.size() - 1)) + "\"");
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    std::memcpy(&number, value.data.data(), 4);
    lines.push_back(name + CString::Formatted("=dword:%08x", static_cast<unsigned>(number)).str());
  } else if (value.type == REG_BINARY) {
    AppendHexLines(&lines, name + "=hex:", value.data);
  } else {
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    CString prefix = CString::Formatted("=hex(%x):", static_cast<unsigned>(value.type));
    AppendHexLines(&lines, name + prefix.str(),
                   unicodeData && text ? Encode(true, value.data) : value.data);
  }
  return lines;
}

std::string KeyHeader(RegistryRoot root, const std::string& path) {
  std::string line = "[";
  line += RootToName(root);
  if (!path.empty()) {
    line += '\\';
    line += path;
  }
  return line + "]";
}

// The file's lines with `lines` (texts without line ends) put in place of
// lines from..to-1 (to == from inserts), in the file's encoding and line
// ends.
std::string Edited(const SourceFile& file, size_t from, size_t to,
                   const std::vector<std::string>& lines) {
  std::string out = file.bom;
  for (size_t i = 0; i < from; ++i) {
    std::string_view line = file.raw[i];
    // The odd last byte of a UTF-16 file is half a character, which reading
    // ignores; lines written after it would be read one byte out of step.
    if (file.unicode && line.size() % 2 != 0) line.remove_suffix(1);
    out += line;
    // The line before new ones must end; the file's last line may not.
    if (i + 1 == from && !file.EndsWithLineEnd(i)) out += Encode(file.unicode, file.eol);
  }
  for (const std::string& line : lines) out += Encode(file.unicode, line + file.eol);
  for (size_t i = to; i < file.raw.size(); ++i) out += file.raw[i];
  return out;
}

// The file with a block for the key, holding `values`, added at its end,
// after a blank line unless one is there.
std::string WithBlockAppended(const SourceFile& file, RegistryRoot root, const std::string& path,
                              const std::vector<std::string>& valueLines) {
  std::vector<std::string> lines;
  const size_t n = file.raw.size();
  if (n > 0 && !TrimBlanks(file.Text(n - 1)).empty()) lines.push_back("");
  lines.push_back(KeyHeader(root, path));
  lines.insert(lines.end(), valueLines.begin(), valueLines.end());
  lines.push_back("");
  return Edited(file, n, n, lines);
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
//
// The store is read and parsed once and kept while any key handle is open,
// so that a loop over a key's values (RegQueryInfoKeyA, then RegEnumValueA
// for each index) costs one read, not one per value. When the last handle
// is closed it is dropped, and the next call reads the file again.

struct LoadedStore {
  CString path;
  Status status = Status::kOk;  // of the read; kNotFound for a missing file
  SourceFile file;
};

std::optional<LoadedStore>& Cache() {
  static std::optional<LoadedStore> cache;
  return cache;
}

Status& LastReadStatus() {
  static Status status = Status::kOk;
  return status;
}

// The store as it is on disk (or as kept for the open handles): a missing
// file holds no keys and may be written; a file that cannot be read counts
// as unparsed and is never replaced by the creation of a key.
LoadedStore& Store() {
  CString path = RegistryStorePath();
  std::optional<LoadedStore>& cache = Cache();
  if (!cache || cache->path != path) {
    LoadedStore loaded;
    loaded.path = path;
    std::string bytes;
    loaded.status = GetEnv()->ReadWholeFile(path, &bytes);
    if (loaded.status == Status::kOk) {
      loaded.file = ParseSource(bytes);
    } else if (loaded.status != Status::kNotFound) {
      loaded.file.parsed = false;
    }
    LastReadStatus() = loaded.status;
    cache = std::move(loaded);
  }
  return *cache;
}

// Drops the kept store at the end of a call unless a handle is open.
struct CallScope {
  CallScope() = default;
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  ~CallScope();
};

// Writes `bytes` as the new store, but only when they read back as
// `expected`; the kept store then follows the file.
LONG WriteStore(LoadedStore& loaded, const std::string& bytes, const RegistryStore& expected) {
  SourceFile written = ParseSource(bytes);
  if (!written.parsed || !SameRegistryStore(written.ToStore(), expected)) return ERROR_WRITE_FAULT;
  LONG result = StatusToError(GetEnv()->WriteFileAtomically(loaded.path, bytes));
  if (result != ERROR_SUCCESS) return result;
  loaded.status = Status::kOk;
  loaded.file = std::move(written);
  return ERROR_SUCCESS;
}

// The whole store in the form FormatRegistryExport writes: for a file that
// holds nothing yet (missing, blank, or explicitly replaced).
LONG WriteFresh(LoadedStore& loaded, const RegistryStore& expected) {
  return WriteStore(loaded, FormatRegistryExport(expected), expected);
}

void PutInto(RegistryStoreKey* key, RegistryStoreValue value) {
  for (RegistryStoreValue& v : key->values) {
    if (RegistryNamesEqual(v.name, value.name)) {
      v.type = value.type;
      v.data = std::move(value.data);
      return;
    }
  }
  key->values.push_back(std::move(value));
}

// Adds an empty key: a new block at the end of the file.
LONG AddKey(LoadedStore& loaded, RegistryRoot root, const std::string& path) {
  RegistryStore expected = loaded.file.ToStore();
  expected.keys.push_back(RegistryStoreKey{root, path, {}});
  if (!loaded.file.hasHeader) return WriteFresh(loaded, expected);
  return WriteStore(loaded, WithBlockAppended(loaded.file, root, path, {}), expected);
}

// Sets a value: its line(s) replaced where it stands, or a new line after
// the last one of its key, or a new block for a key the file does not list.
LONG SetValue(LoadedStore& loaded, RegistryRoot root, const std::string& path,
              RegistryStoreValue value) {
  SourceFile& file = loaded.file;
  RegistryStore expected = file.parsed ? file.ToStore() : RegistryStore();
  RegistryStoreKey* target = expected.FindKey(root, path);
  if (target == nullptr) {
    expected.keys.push_back(RegistryStoreKey{root, path, {}});
    target = &expected.keys.back();
  }
  PutInto(target, value);
  // A store that could not be parsed holds no keys; an explicit write
  // replaces it.
  if (!file.parsed || !file.hasHeader) return WriteFresh(loaded, expected);

  SourceKey* key = file.FindKey(root, path);
  SourceValue* existing = key != nullptr ? key->Find(value.name) : nullptr;
  // A value set under a name that differs only in case keeps its name.
  if (existing != nullptr) value.name = existing->value.name;
  const std::vector<std::string> lines = FormatValueLines(value, file.unicodeData);
  std::string bytes;
  if (key == nullptr) {
    bytes = WithBlockAppended(file, root, path, lines);
  } else if (existing != nullptr) {
    bytes = Edited(file, existing->first, existing->last + 1, lines);
  } else {
    bytes = Edited(file, key->insertAt, key->insertAt, lines);
  }
  LONG result = WriteStore(loaded, bytes, expected);
  // Should the edit in place not read back as meant (a file laid out in a
  // way the edit did not foresee), a block of its own at the end says it:
  // the last definition of a value counts.
  if (result == ERROR_WRITE_FAULT) {
    result = WriteStore(loaded, WithBlockAppended(file, root, path, lines), expected);
  }
  return result;
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

CallScope::~CallScope() {
  if (OpenHandles().empty()) Cache().reset();
}

}  // namespace

bool SameRegistryStore(const RegistryStore& a, const RegistryStore& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (size_t k = 0; k < a.keys.size(); ++k) {
    const RegistryStoreKey& x = a.keys[k];
    const RegistryStoreKey& y = b.keys[k];
    if (x.root != y.root || x.path != y.path || x.values.size() != y.values.size()) return false;
    for (size_t v = 0; v < x.values.size(); ++v) {
      if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type ||
          x.values[v].data != y.values[v].data) {
        return false;
      }
    }
  }
  return true;
}

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

std::string RegistryFoldedName(std::string_view name) { return Folded(name); }

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

RegistryStore ParseRegistryExport(std::string_view bytes) { return ParseSource(bytes).ToStore(); }

std::string FormatRegistryExport(const RegistryStore& store) {
  std::string out;
  out += kHeader4;
  out += "\r\n\r\n";
  for (const RegistryStoreKey& key : store.keys) {
    out += KeyHeader(key.root, key.path) + "\r\n";
    for (const RegistryStoreValue& value : key.values) {
      for (const std::string& line : FormatValueLines(value, false)) out += line + "\r\n";
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

Status LastRegistryStoreRead() { return LastReadStatus(); }

// ---- The Windows functions -----------------------------------------------

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!IsValidHandle(hKey)) return ERROR_INVALID_HANDLE;
  CallScope scope;
  std::string path = JoinPath(HandlePath(hKey), lpSubKey);
  if (path.find('\n') != std::string::npos) return ERROR_INVALID_PARAMETER;
  bool writable = StoreWritable();
  if (AsksToWrite(samDesired) && !writable) return ERROR_ACCESS_DENIED;

  LoadedStore& store = Store();
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  if (!store.file.KeyExists(hKey->root, path)) {
    if (!writable) return ERROR_ACCESS_DENIED;
    if (!store.file.parsed) return ERROR_BADDB;
    LONG written = AddKey(store, hKey->root, path);
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
  CallScope scope;
  std::string path = JoinPath(HandlePath(hKey), lpSubKey);
  if (!Store().file.KeyExists(hKey->root, path)) return ERROR_FILE_NOT_FOUND;
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
  CallScope scope;
  const SourceFile& file = Store().file;
  std::string path = HandlePath(hKey);
  if (!file.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass == 0) return ERROR_MORE_DATA;

  // Direct children: the next part of every listed key below this one.
  std::vector<std::string> children;
  std::unordered_map<std::string, bool> seen;
  for (const SourceKey& key : file.keys) {
    if (key.root != hKey->root || !IsAncestor(path, key.path)) continue;
    std::string_view below = std::string_view(key.path).substr(path.empty() ? 0 : path.size() + 1);
    std::string child(below.substr(0, below.find('\\')));
    if (seen.emplace(Folded(child), true).second) children.push_back(child);
  }
  DWORD maxChild = 0;
  for (const std::string& c : children) maxChild = std::max<DWORD>(maxChild, static_cast<DWORD>(c.size()));

  DWORD valueCount = 0, maxName = 0, maxData = 0;
  if (const SourceKey* key = file.FindKey(hKey->root, path)) {
    valueCount = static_cast<DWORD>(key->values.size());
    for (const SourceValue& v : key->values) {
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
  CallScope scope;
  const SourceFile& file = Store().file;
  std::string path = HandlePath(hKey);
  if (!file.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  const SourceKey* key = file.FindKey(hKey->root, path);
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
  if ((HandleRights(hKey) & KEY_SET_VALUE) == 0 || !StoreWritable()) return ERROR_ACCESS_DENIED;
  // An export holds one value per line: a name with a line break has no form.
  if (lpValueName != nullptr && std::strchr(lpValueName, '\n') != nullptr) return ERROR_INVALID_PARAMETER;
  CallScope scope;
  LoadedStore& store = Store();
  std::string path = HandlePath(hKey);
  // A handle on a key that vanished from a readable store is stale. A store
  // that could not be parsed holds no keys and is replaced by this write.
  if (store.file.parsed && !store.file.KeyExists(hKey->root, path)) return ERROR_KEY_DELETED;
  RegistryStoreValue value{lpValueName ? std::string(lpValueName) : std::string(), dwType,
                           std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0)};
  return SetValue(store, hKey->root, path, std::move(value));
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == nullptr) return ERROR_INVALID_HANDLE;
  if (IsRootHandle(hKey)) return ERROR_SUCCESS;
  if (OpenHandles().erase(hKey) == 0) return ERROR_INVALID_HANDLE;
  delete static_cast<OpenKey*>(hKey);
  if (OpenHandles().empty()) Cache().reset();
  return ERROR_SUCCESS;
}

}  // namespace platform
