// Letter case and blank trimming for names, keys, paths and words: the one
// home of these small rules.
//
// Only a-z and A-Z change case; every byte above 0x7F stays as it is. The
// program sets no locale, and the C runtime's case conversion in the "C"
// locale leaves Windows-1252 letters such as 0xFC (u umlaut) unchanged too.
// (CString::Trim and CString::IsTrimmed hold the other trimming rule, that
// of C's isspace, for texts.)
#pragma once

#include <string>
#include <string_view>

namespace spekolar::ascii {

inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string Uppered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

inline std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// A blank: a space or a tab, what may stand around the names and values of
// INI lines and between the words of a command line.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// `text` without the blanks at both ends.
inline std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace spekolar::ascii
