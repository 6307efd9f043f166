#include "text/CString.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "text/Ascii.h"

namespace spekolar {

int CString::Find(std::string_view needle, int start) const {
  if (start < 0 || start > GetLength()) return -1;
  size_t at = s_.find(needle, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(char ch, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  size_t at = s_.find(ch, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const {
  if (count <= 0) return CString();
  if (count >= GetLength()) return *this;
  return CString(s_.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
  if (count <= 0) return CString();
  if (count >= GetLength()) return *this;
  return CString(s_.substr(s_.size() - static_cast<size_t>(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (count <= 0 || first >= GetLength()) return CString();
  size_t available = s_.size() - static_cast<size_t>(first);
  size_t take = static_cast<size_t>(count) < available ? static_cast<size_t>(count) : available;
  return CString(s_.substr(static_cast<size_t>(first), take));
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < s_.size() && IsTrimmed(s_[i])) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  size_t n = s_.size();
  while (n > 0 && IsTrimmed(s_[n - 1])) --n;
  s_.resize(n);
  return *this;
}

CString& CString::Trim() {
  TrimRight();
  return TrimLeft();
}

CString& CString::MakeUpper() {
  for (char& c : s_) c = ascii::Upper(c);
  return *this;
}

int CString::Replace(std::string_view from, std::string_view to) {
  if (from.empty()) return 0;
  int count = 0;
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t at = s_.find(from, pos);
    if (at == std::string::npos) break;
    out.append(s_, pos, at - pos);
    out.append(to);
    pos = at + from.size();
    ++count;
  }
  if (count == 0) return 0;
  out.append(s_, pos, std::string::npos);
  s_.swap(out);
  return count;
}

void CString::FormatV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) {
    s_.clear();
    return;
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    s_.assign(small, static_cast<size_t>(needed));
    return;
  }
  std::vector<char> big(static_cast<size_t>(needed) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, args);
  s_.assign(big.data(), static_cast<size_t>(needed));
}

void CString::Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  FormatV(fmt, args);
  va_end(args);
}

void CString::AppendFormat(const char* fmt, ...) {
  CString tail;
  va_list args;
  va_start(args, fmt);
  tail.FormatV(fmt, args);
  va_end(args);
  s_ += tail.s_;
}

CString CString::Formatted(const char* fmt, ...) {
  CString out;
  va_list args;
  va_start(args, fmt);
  out.FormatV(fmt, args);
  va_end(args);
  return out;
}

}  // namespace spekolar
