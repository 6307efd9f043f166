// The two monitors of the LUG (payroll, "Lohn und Gehalt") section.
//
// The payroll programs log errors as lines with "Fehler", "fehler",
// "Keine Stammkostenstelle" or "nicht geoeffnet"; a read error ("Fehler
// Lesen", "Abbruch Lesen") follows the line that names the program run
// ("Lohnprogramm Akr"). Findings are stored with the row's error title and
// monitor name ("LuG-Fehler", "Lohn und Gehalt"); the results are not used
// by callers.
#pragma once

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// Run times are not watched for this section: writes the header
// (MonitorHeader, " \xDC" "berwachung Lohn und Gehalt Typ 1 (Laufzeit)") and
// nothing else.
// Always false.
bool CheckPayrollRuntime(const SectionRow& section, MonitorSettingsRecord& settings);

// Errors. A file is examined from its first line with today's date
// ("dd.mm.yyyy") on: that line and every later line of the file, whatever
// date it bears or none. Each examined line with "Lohnprogramm Akr" becomes
// the program line, which holds across the files of the pass. An examined
// line with one of the four error words is a finding: its text is the line,
// or, when the line also holds "Fehler Lesen" or "Abbruch Lesen", the program
// line (empty before the first), " - " and the line. Semicolons of the
// finding texts are protected. True when the pass went through all 20 Files
// slots.
bool CheckPayrollErrors(const SectionRow& section, MonitorSettingsRecord& settings);

}  // namespace spekolar
