#include "platform/TimeText.h"

namespace spekolar::platform {

CString ProtocolStamp(const LocalTime& t) {
  return CString::Formatted("%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                            t.minute, t.second);
}

CString DateDotted(const LocalTime& t) {
  return CString::Formatted("%02d.%02d.%04d", t.day, t.month, t.year);
}

CString DateIso(const LocalTime& t) {
  return CString::Formatted("%04d-%02d-%02d", t.year, t.month, t.day);
}

CString DateHyphened(const LocalTime& t) {
  return CString::Formatted("%02d-%02d-%04d", t.day, t.month, t.year);
}

CString DateCompact(const LocalTime& t) {
  return CString::Formatted("%02d%02d%04d", t.day, t.month, t.year);
}

CString DateMonthName(const LocalTime& t) {
  static const char* const kMonths[] = {"January", "February", "March",     "April",
                                        "May",     "June",     "July",      "August",
                                        "September", "October", "November", "December"};
  // A month outside 1..12 cannot come from the clock; it shows as "?".
  const char* month = (t.month >= 1 && t.month <= 12) ? kMonths[t.month - 1] : "?";
  return CString::Formatted("%02d.%s %d", t.day, month, t.year);
}

CString Stamp14(const LocalTime& t) {
  return CString::Formatted("%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                            t.second);
}

}  // namespace spekolar::platform
