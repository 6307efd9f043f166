// The two monitors of the RECHENPROGRAMME section.
//
// Most computation programs log lines that carry the day's date
// ("dd.mm.yyyy") and name an error in words. Two of them, MORVASTEN and
// QUARDELIN, log each error as a block of six lines instead:
//
//   line 0  holds today's short date "dd.mm.yy" and opens the block
//   line 1  the time, the 8 characters from column 13
//   line 3  the message, from column 12 to the end
//   line 5  "ErrorCode__:" and the code from column 12 on
//
// (columns count in the line with white space removed at both ends; lines 2
// and 4 are not looked at). The codes "0", "1403" and "100" are no error;
// any other code, an empty one included, is.
//
// Findings are stored with the row's error title ("Rechenprogramm-Fehler")
// and an empty monitor name; the results are not used by callers.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// Run times are not watched for this section: does nothing and writes
// nothing. Always false.
bool CheckComputationProgramRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Errors of today. A Files entry is read in line mode until one of its
// matches has MORVASTEN or QUARDELIN in its upper-cased full path; from that
// match on, every later match of the same entry is read in block mode too
// (the next entry starts in line mode again).
//   Line mode: a line with today's long date and one of "Fehler " (with its
//   blank, so "Fehler:" and a "Fehler" at the line's end do not count),
//   "Unzul\xE4ssiger", "(datenbankConnect)", "initProtokollierung" is a
//   finding with the line as its text.
//   Block mode: a line with the short date opens a block and the next five
//   lines are taken as its lines 1 to 5, whatever they hold (so they never
//   open a block themselves); a block with an error code is a finding
//   "dd.mm.yyyy <time> - <message>". A block cut off by the end of its file
//   is not reported.
// Semicolons of the finding texts are protected. True when the pass went
// through all 20 Files slots.
bool CheckComputationProgramErrors(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
