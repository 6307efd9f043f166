// Text forms of the local time used throughout the program.
#pragma once

#include "platform/Env.h"
#include "text/CString.h"

namespace spekolar::platform {

// "dd.mm.yyyy hh:mm:ss", the stamp of protocol entries.
CString ProtocolStamp(const LocalTime& t);
// "dd.mm.yyyy".
CString DateDotted(const LocalTime& t);
// "yyyy-mm-dd".
CString DateIso(const LocalTime& t);
// "dd-mm-yyyy", the date of the terminal manager's protocols.
CString DateHyphened(const LocalTime& t);
// "ddmmyyyy", the date of the terminal communication logs.
CString DateCompact(const LocalTime& t);
// "dd.Month yyyy" with the English month name ("05.March 2024"): what
// strftime's "%d.%B %Y" gives in the C locale, which the program never
// changes. Built from a table, so no locale setting of the process can
// change it.
CString DateMonthName(const LocalTime& t);
// "yyyymmddhhmmss", the 14-digit stamp of message rows.
CString Stamp14(const LocalTime& t);

}  // namespace spekolar::platform
