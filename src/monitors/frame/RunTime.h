// Numbers and clock times cut from protocol lines and settings.
#pragma once

#include "text/CString.h"

namespace spekolar {

// The leading decimal integer of the text, as the C runtime's atoi reads
// it: white space skipped, an optional sign, then digits up to the first
// other character. A text without digits gives 0; values beyond the int range
// clamp to it.
int LeadingInteger(const CString& text);

// Seconds since midnight of the clock time in a text that begins with a
// stamp "dd.mm.yyyy hh:mm:ss" (or "dd-mm-yyyy hh:mm:ss"): the two characters
// at positions 11, 14 and 17 as hours, minutes and seconds, each read with
// LeadingInteger. Short or malformed parts count 0.
int SecondsAtStampColumns(const CString& text);

}  // namespace spekolar
