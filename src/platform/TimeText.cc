#include "platform/TimeText.h"

namespace platform {

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

CString Stamp14(const LocalTime& t) {
  return CString::Formatted("%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                            t.second);
}

}  // namespace platform
