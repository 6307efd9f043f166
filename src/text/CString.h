// Counted byte string of Windows-1252 text.
//
// Every text of the program is a CString: a run of bytes that may hold any
// value, NUL included, and is never converted to or from UTF-8. Positions and
// lengths are zero-based ints, as the monitors compute them from fixed
// columns of protocol lines. Out-of-range positions and lengths clamp to the
// text (a Mid beyond the end gives the empty text), so cutting columns from a
// short line never reads out of bounds.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace spekolar {

class CString {
 public:
  CString() = default;
  CString(const char* text) : s_(text ? text : "") {}  // NOLINT: implicit like MFC's
  CString(const char* data, size_t length) : s_(data, length) {}
  CString(std::string_view text) : s_(text) {}  // NOLINT
  CString(std::string text) : s_(std::move(text)) {}  // NOLINT
  virtual ~CString() = default;
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  // Zero-terminated view of the bytes (an inner NUL ends what C sees).
  const char* c_str() const { return s_.c_str(); }
  std::string_view view() const { return s_; }
  const std::string& str() const { return s_; }
  std::string& str() { return s_; }
  // Byte at a position; 0 outside the text.
  char GetAt(int pos) const {
    return (pos >= 0 && pos < GetLength()) ? s_[static_cast<size_t>(pos)] : '\0';
  }

  // First occurrence at or after `start`; -1 when there is none (also for a
  // start outside the text). An empty needle is found at `start`.
  int Find(std::string_view needle, int start = 0) const;
  int Find(char ch, int start = 0) const;
  bool Contains(std::string_view needle) const { return Find(needle) >= 0; }

  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;

  // Trimming removes blanks, tabs, CR, LF, VT and FF (C isspace in the "C"
  // locale). The text itself changes; a reference to it is returned.
  CString& Trim();
  CString& TrimLeft();
  CString& TrimRight();
  // The part of `text` that Trim would leave, as a view into `text`; for
  // callers that look at many lines and want no copy of each.
  static std::string_view Trimmed(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && IsTrimmed(text[end - 1])) --end;
    size_t begin = 0;
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    return text.substr(begin, end - begin);
  }
  // The bytes Trim removes: blanks, tabs, CR, LF, VT and FF.
  static bool IsTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  }

  // ASCII a-z become A-Z; every byte above 0x7F stays as it is. The program
  // sets no locale, and the C runtime's upper-casing in the "C" locale
  // leaves Windows-1252 letters such as 0xFC (u umlaut) unchanged too.
  CString& MakeUpper();

  // Replaces every occurrence of `from` (left to right, not overlapping) by
  // `to`; returns how many were replaced. An empty `from` replaces nothing.
  int Replace(std::string_view from, std::string_view to);

  // printf-style formatting of any length; replaces the text.
  void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(const char* fmt, va_list args);
  void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  static CString Formatted(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

  CString& operator+=(const CString& other) { s_ += other.s_; return *this; }
  CString& operator+=(const char* other) { s_ += (other ? other : ""); return *this; }
  CString& operator+=(char ch) { s_ += ch; return *this; }

  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const char* b) { return CString(a.s_ + (b ? b : "")); }
  friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.s_); }
  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const char* b) { return a.s_ == (b ? b : ""); }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

 private:
  std::string s_;
};

}  // namespace spekolar
