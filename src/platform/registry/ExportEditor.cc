#include "platform/registry/ExportEditor.h"

#include <cstring>

#include "platform/registry/Decoding.h"
#include "text/CString.h"

namespace spekolar {

namespace platform::registry {

namespace {

// The bytes of a Windows-1252 text in the file's encoding.
std::string Encode(bool unicode, std::string_view text) {
  return unicode ? AnsiToUtf16(text) : std::string(text);
}

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

}  // namespace

std::vector<std::string> FormatValueLines(const RegistryStoreValue& value, bool unicodeData) {
  std::vector<std::string> lines;
  std::string name = "@";
  if (!value.name.empty()) {
    name = '"';
    name += Escape(value.name);
    name += '"';
  }
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
                   unicodeData && text ? AnsiToUtf16(value.data) : value.data);
  }
  return lines;
}

std::string KeyHeader(RegistryRoot root, const std::string& path) {
  std::string line = "[";
  line += RootName(root);
  if (!path.empty()) {
    line += '\\';
    line += path;
  }
  return line + "]";
}

std::string Edited(const ExportFile& file, size_t from, size_t to,
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

std::string WithBlockAppended(const ExportFile& file, RegistryRoot root, const std::string& path,
                              const std::vector<std::string>& valueLines) {
  std::vector<std::string> lines;
  const size_t n = file.raw.size();
  if (n > 0 && !TrimBlanks(file.Text(n - 1)).empty()) lines.push_back("");
  lines.push_back(KeyHeader(root, path));
  lines.insert(lines.end(), valueLines.begin(), valueLines.end());
  lines.push_back("");
  return Edited(file, n, n, lines);
}

}  // namespace platform::registry

namespace platform {

std::string FormatRegistryExport(const RegistryStore& store) {
  std::string out;
  out += registry::kHeader4;
  out += "\r\n\r\n";
  for (const RegistryStoreKey& key : store.keys) {
    out += registry::KeyHeader(key.root, key.path) + "\r\n";
    for (const RegistryStoreValue& value : key.values) {
      for (const std::string& line : registry::FormatValueLines(value, false)) out += line + "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace platform

}  // namespace spekolar
