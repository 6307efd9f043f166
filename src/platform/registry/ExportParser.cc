#include "platform/registry/ExportParser.h"

#include <cstring>

#include "platform/registry/Decoding.h"
#include "text/Ascii.h"

namespace spekolar {

namespace platform::registry {

namespace {

struct RootEntry {
  RegistryRoot root;
  std::string_view name;
};
constexpr RootEntry kRootNames[] = {
    {RegistryRoot::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
    {RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegistryRoot::Users, "HKEY_USERS"},
    {RegistryRoot::CurrentConfig, "HKEY_CURRENT_CONFIG"},
};

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && RegistryNamesEqual(s.substr(0, prefix.size()), prefix);
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

std::string KeyIndexName(RegistryRoot root, std::string_view path) {
  std::string name(1, static_cast<char>('0' + static_cast<int>(root)));
  name += Folded(path);
  return name;
}

// Splits the bytes into lines, each with its line end: at LF bytes, or in
// a UTF-16 file at LF code units.
void SplitLines(std::string_view bytes, ExportFile* file) {
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
SourceKey* ParseKeyLine(std::string_view line, ExportFile* file) {
  size_t close = line.rfind(']');
  if (close == std::string_view::npos) return nullptr;
  std::string_view name = line.substr(1, close - 1);
  if (!name.empty() && name.front() == '-') return nullptr;
  size_t slash = name.find('\\');
  std::string_view rootName = name.substr(0, slash);
  std::string_view rest =
      slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
  for (const RootEntry& r : kRootNames) {
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
  while (pos < line.size() && ascii::IsBlank(line[pos])) ++pos;
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

}  // namespace

std::string_view RootName(RegistryRoot root) {
  for (const RootEntry& r : kRootNames) {
    if (r.root == root) return r.name;
  }
  return "HKEY_LOCAL_MACHINE";
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (ascii::IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (ascii::IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string JoinPath(const std::string& base, const char* sub) {
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

bool IsAncestor(std::string_view ancestor, std::string_view path) {
  if (ancestor.empty()) return !path.empty();
  return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
         RegistryNamesEqual(ancestor, path.substr(0, ancestor.size()));
}

SourceValue* SourceKey::Find(std::string_view name) {
  auto it = valueIndex.find(Folded(name));
  return it == valueIndex.end() ? nullptr : &values[it->second];
}

void SourceKey::Put(RegistryStoreValue value, size_t first, size_t last) {
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

void SourceKey::Remove(std::string_view name) {
  auto it = valueIndex.find(Folded(name));
  if (it == valueIndex.end()) return;
  values.erase(values.begin() + static_cast<long>(it->second));
  valueIndex.clear();
  for (size_t i = 0; i < values.size(); ++i) valueIndex.emplace(Folded(values[i].value.name), i);
}

SourceKey* ExportFile::FindKey(RegistryRoot root, std::string_view path) {
  auto it = keyIndex.find(KeyIndexName(root, path));
  return it == keyIndex.end() ? nullptr : &keys[it->second];
}

const SourceKey* ExportFile::FindKey(RegistryRoot root, std::string_view path) const {
  auto it = keyIndex.find(KeyIndexName(root, path));
  return it == keyIndex.end() ? nullptr : &keys[it->second];
}

SourceKey* ExportFile::AddKey(RegistryRoot root, std::string path) {
  keyIndex.emplace(KeyIndexName(root, path), keys.size());
  keys.push_back(SourceKey{root, std::move(path), {}, {}, 0});
  return &keys.back();
}

bool ExportFile::KeyExists(RegistryRoot root, std::string_view path) const {
  if (path.empty() || FindKey(root, path) != nullptr) return true;
  for (const SourceKey& key : keys) {
    if (key.root == root && IsAncestor(path, key.path)) return true;
  }
  return false;
}

RegistryStore ExportFile::ToStore() const {
  RegistryStore store;
  store.parsed = parsed;
  for (const SourceKey& key : keys) {
    RegistryStoreKey out{key.root, key.path, {}};
    for (const SourceValue& v : key.values) out.values.push_back(v.value);
    store.keys.push_back(std::move(out));
  }
  return store;
}

std::string ExportFile::Text(size_t i) const {
  std::string_view line = raw[i];
  if (unicode) {
    if (EndsWithLineEnd(i)) line.remove_suffix(2);
    return Utf16ToAnsi(line);
  }
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return std::string(line);
}

bool ExportFile::EndsWithLineEnd(size_t i) const {
  std::string_view line = raw[i];
  return unicode ? line.size() >= 2 && line.size() % 2 == 0 && line[line.size() - 2] == '\n' &&
                       line.back() == '\0'
                 : !line.empty() && line.back() == '\n';
}

ExportFile ParseExportFile(std::string_view bytes) {
  ExportFile file;
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

}  // namespace platform::registry

namespace platform {

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
    if (RegistryNamesEqual(key.path, path) || registry::IsAncestor(path, key.path)) return true;
  }
  return false;
}

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

RegistryStore ParseRegistryExport(std::string_view bytes) {
  return registry::ParseExportFile(bytes).ToStore();
}

}  // namespace platform

}  // namespace spekolar
