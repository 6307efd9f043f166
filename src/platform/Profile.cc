#include "platform/Profile.h"

#include <algorithm>
#include <cstring>

#include "platform/Env.h"
#include "text/Ascii.h"

namespace spekolar::platform {

namespace {

// Windows-1252 byte of a UTF-16 code unit: Latin-1 units are the byte
// itself, the typographic characters of 0x80-0x9F have their own codes,
// everything else becomes '?', as the ANSI conversion does.
char AnsiFromUtf16(uint16_t unit) {
  if (unit <= 0xFF) return static_cast<char>(unit);
  static const uint16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// The file's text as 8-bit characters.
std::string DecodeText(std::string_view text) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") return std::string(text.substr(3));
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    std::string out;
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
      uint16_t unit = static_cast<uint16_t>(static_cast<unsigned char>(text[i]) |
                                            (static_cast<unsigned char>(text[i + 1]) << 8));
      out += AnsiFromUtf16(unit);
    }
    return out;
  }
  return std::string(text);
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

// Copies a text into buf, cut to size-1 characters; the count copied.
// A value is a C string to its callers: a NUL byte in the file ends it.
uint32_t CopyValue(const std::string& value, char* buf, uint32_t size) {
  if (size == 0) return 0;
  const size_t length = std::min(value.size(), value.find('\0'));
  size_t count = length < size ? length : size - 1;
  std::memcpy(buf, value.data(), count);
  buf[count] = '\0';
  return static_cast<uint32_t>(count);
}

// Copies zero-terminated names ended by an empty one. When the list does
// not fit with a byte to spare, the name that does not fit is cut, the
// list ends with two NULs and the result is size-2. Names are C strings
// here too: each ends at a NUL byte, and an empty one (which would end the
// list) is left out.
uint32_t CopyList(const std::vector<std::string>& names, char* buf, uint32_t size) {
  if (size == 0) return 0;
  if (size == 1) {
    buf[0] = '\0';
    return 0;
  }
  char* out = buf;
  size_t room = size - 1;  // the final terminator is kept aside
  for (const std::string& whole : names) {
    std::string_view name(whole.data(), std::min(whole.size(), whole.find('\0')));
    if (name.empty()) continue;
    size_t needed = name.size() + 1;
    if (needed >= room) {
      std::memcpy(out, name.data(), room - 1);
      out += room - 1;
      *out++ = '\0';
      *out = '\0';
      return size - 2;
    }
    std::memcpy(out, name.data(), name.size());
    out[name.size()] = '\0';
    out += needed;
    room -= needed;
  }
  *out = '\0';
  return static_cast<uint32_t>(out - buf);
}

std::vector<std::string> ListedSectionNames(const ProfileData& data) {
  std::vector<std::string> names;
  for (const ProfileSection& section : data.sections) {
    if (!section.name.empty()) names.push_back(section.name);
  }
  return names;
}

}  // namespace

const ProfileSection* ProfileData::FindSection(std::string_view name) const {
  auto it = sectionIndex.find(ascii::Lowered(name));
  return it == sectionIndex.end() ? nullptr : &sections[it->second];
}

bool ProfileData::GetValue(std::string_view section, std::string_view key,
                           std::string* value) const {
  const ProfileSection* found = FindSection(section);
  if (found == nullptr) return false;
  auto it = found->keyIndex.find(ascii::Lowered(key));
  if (it == found->keyIndex.end()) return false;
  *value = found->entries[it->second].second;
  return true;
}

ProfileData ParseProfile(std::string_view raw) {
  const std::string text = DecodeText(raw);
  ProfileData data;
  ProfileSection* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = ascii::TrimBlanks(std::string_view(text).substr(start, end - start));
    if (end == text.size()) {
      start = end;
    } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      start = end + 2;
    } else {
      start = end + 1;
    }

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      std::string sectionName(ascii::TrimBlanks(name));
      data.sectionIndex.emplace(ascii::Lowered(sectionName), data.sections.size());
      data.sections.push_back(ProfileSection{std::move(sectionName), {}, {}});
      current = &data.sections.back();
      continue;
    }
    if (current == nullptr) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key(ascii::TrimBlanks(line.substr(0, eq)));
    std::string value = Unquote(ascii::TrimBlanks(line.substr(eq + 1)));
    current->keyIndex.emplace(ascii::Lowered(key), current->entries.size());
    current->entries.emplace_back(std::move(key), std::move(value));
  }
  return data;
}

Status LoadProfile(const char* path, ProfileData* data) {
  *data = ProfileData();
  if (path == nullptr) return Status::kNotFound;
  std::string text;
  Status status = GetEnv()->ReadWholeFile(CString(path), &text);
  if (status == Status::kOk) *data = ParseProfile(text);
  return status;
}

uint32_t ProfileString(const ProfileData& data, const char* section, const char* key,
                       const char* def, char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) return 0;
  if (section == nullptr) return CopyList(ListedSectionNames(data), buf, size);
  if (key == nullptr) {
    std::vector<std::string> keys;
    if (const ProfileSection* found = data.FindSection(section)) {
      for (const auto& entry : found->entries) keys.push_back(entry.first);
    }
    return CopyList(keys, buf, size);
  }
  std::string value;
  if (!data.GetValue(section, key, &value)) {
    std::string_view fallback = def != nullptr ? def : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
    value = std::string(fallback);
  }
  return CopyValue(value, buf, size);
}

uint32_t ProfileSectionNames(const ProfileData& data, char* buf, uint32_t size) {
  if (buf == nullptr || size == 0) return 0;
  return CopyList(ListedSectionNames(data), buf, size);
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                  char* buf, uint32_t size, const char* path) {
  if (buf == nullptr || size == 0) return 0;
  ProfileData data;
  LoadProfile(path, &data);
  return ProfileString(data, section, key, def, buf, size);
}

uint32_t GetPrivateProfileSectionNamesA(char* buf, uint32_t size, const char* path) {
  if (buf == nullptr || size == 0) return 0;
  ProfileData data;
  LoadProfile(path, &data);
  return ProfileSectionNames(data, buf, size);
}

}  // namespace spekolar::platform
