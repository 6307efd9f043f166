#include "cli/ConsoleText.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Console.h"
#include "text/Ascii.h"

namespace spekolar::cli {

namespace {

// Code points of 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsUtf8Locale(std::string_view locale) {
  size_t dot = locale.find('.');
  if (dot == std::string_view::npos) return false;
  std::string_view codeset = locale.substr(dot + 1);
  codeset = codeset.substr(0, codeset.find('@'));
  std::string folded;
  for (char c : codeset) {
    if (c != '-') folded += ascii::Lower(c);
  }
  return folded == "utf8";
}

}  // namespace

ConsoleEncoding ConsoleEncodingOf(platform::Env* env) {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    std::string value;
    if (env->GetVariable(name, &value) && !value.empty()) {
      return IsUtf8Locale(value) ? ConsoleEncoding::kUtf8 : ConsoleEncoding::kWindows1252;
    }
  }
  return ConsoleEncoding::kWindows1252;
}

ConsoleEncoding ProgramConsoleEncoding(platform::Env* env) {
  return platform::ConsoleConvertsText() ? ConsoleEncoding::kWindows1252 : ConsoleEncodingOf(env);
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else if (byte < 0xA0) {
      AppendUtf8(kHighControls[byte - 0x80], &out);
    } else {
      AppendUtf8(byte, &out);
    }
  }
  return out;
}

std::string ForConsole(std::string_view text, ConsoleEncoding encoding) {
  return encoding == ConsoleEncoding::kUtf8 ? Windows1252ToUtf8(text) : std::string(text);
}

void PrintForConsole(std::FILE* out, std::string_view text, ConsoleEncoding encoding) {
  platform::WriteConsoleText(out, ForConsole(text, encoding));
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> previous(b.size() + 1);
  std::vector<size_t> current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t substitution = ascii::Lower(a[i - 1]) == ascii::Lower(b[j - 1]) ? 0 : 1;
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + substitution});
    }
    std::swap(previous, current);
  }
  return previous[b.size()];
}

const char* NearestName(std::string_view name, std::span<const char* const> candidates) {
  const char* best = nullptr;
  size_t bestDistance = 0;
  for (const char* candidate : candidates) {
    const size_t distance = EditDistance(name, candidate);
    if (best == nullptr || distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  if (best == nullptr) return nullptr;
  // Fewer edits than the shorter name has characters, too: a name of two
  // letters is two edits from every other one ("XY" is not "ID").
  const size_t length = std::string_view(best).size();
  const size_t limit = std::max<size_t>(2, length / 3);
  return bestDistance <= limit && bestDistance < std::min(length, name.size()) ? best : nullptr;
}

}  // namespace spekolar::cli
