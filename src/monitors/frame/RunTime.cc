#include "monitors/frame/RunTime.h"

#include <climits>

namespace spekolar {

int LeadingInteger(const CString& text) {
  std::string_view s = text.view();
  size_t i = 0;
  while (i < s.size() && CString::IsTrimmed(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int SecondsAtStampColumns(const CString& text) {
  return LeadingInteger(text.Mid(11, 2)) * 3600 + LeadingInteger(text.Mid(14, 2)) * 60 +
         LeadingInteger(text.Mid(17, 2));
}

}  // namespace spekolar
