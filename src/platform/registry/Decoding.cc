#include "platform/registry/Decoding.h"

#include <cstdint>

#include "platform/Registry.h"

namespace spekolar {

namespace platform::registry {

namespace {

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

}  // namespace

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

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  return out;
}

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

std::string AnsiToUtf16(std::string_view text) {
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

}  // namespace platform::registry

namespace platform {

bool RegistryNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (registry::FoldCase(static_cast<unsigned char>(a[i])) !=
        registry::FoldCase(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string RegistryFoldedName(std::string_view name) { return registry::Folded(name); }

}  // namespace platform

}  // namespace spekolar
